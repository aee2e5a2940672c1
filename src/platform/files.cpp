#include "platform/files.h"

#include <windows.h>

#include <algorithm>

#include "platform/handles.h"

namespace vantrel {
namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

int64_t ToUnix(const FILETIME& ft) {
  const int64_t t = static_cast<int64_t>(static_cast<uint64_t>(ft.dwHighDateTime) << 32 |
                                         ft.dwLowDateTime);
  return (t - kEpochDelta) / 10000000;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

FileReadResult ReadFilePrefix(const std::string& path, size_t max_bytes, std::string* out) {
  out->clear();
  // Every sharing mode: another process may be replacing the file meanwhile,
  // and a rename over an open file needs FILE_SHARE_DELETE from its readers.
  UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD err = ::GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? FileReadResult::kMissing
                                                                       : FileReadResult::kFailed;
  }
  char buf[65536];
  while (out->size() < max_bytes) {
    DWORD want = static_cast<DWORD>(std::min<size_t>(sizeof buf, max_bytes - out->size()));
    DWORD got = 0;
    if (!::ReadFile(file.get(), buf, want, &got, nullptr)) return FileReadResult::kFailed;
    if (got == 0) break;
    out->append(buf, got);
  }
  return FileReadResult::kRead;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& temp,
                           std::string_view bytes) {
  {
    UniqueHandle file(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = true;
    size_t at = 0;
    while (ok && at < bytes.size()) {
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1 << 20));
      ok = ::WriteFile(file.get(), bytes.data() + at, want, &put, nullptr) && put == want;
      at += put;
    }
    // The data must be on the disk before the rename makes it the store: a
    // crash after the rename must not leave an empty or partial store.
    ok = ok && ::FlushFileBuffers(file.get());
    if (!ok) {
      file.reset();
      ::DeleteFileA(temp.c_str());
      return false;
    }
  }
  // Another process reading the store (another host, a backup or virus
  // scanner) can refuse the replacement for a moment; giving up at once
  // would lose this write when it is the session's last. So a refused
  // rename is tried again a few times, a little later each time: at most
  // about a third of a second on the user-interface thread, and only then.
  DWORD wait_ms = 10;
  for (int tries = 0;; ++tries) {
    if (::MoveFileExA(temp.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = ::GetLastError();
    // A read-only store refuses for good: no point in waiting.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const bool read_only =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (tries == 5 || read_only ||
        (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
         error != ERROR_LOCK_VIOLATION)) {
      break;
    }
    ::Sleep(wait_ms);
    wait_ms *= 2;
  }
  ::DeleteFileA(temp.c_str());
  return false;
}

int DeleteStaleFiles(const std::string& folder, const std::string& prefix,
                     const std::string& suffix, int64_t min_age_seconds) {
  WIN32_FIND_DATAA found;
  UniqueFindHandle find(::FindFirstFileA((folder + prefix + "*" + suffix).c_str(), &found));
  if (!find) return 0;
  const int64_t now = UnixTimeNow();
  int deleted = 0;
  do {
    // The wildcard also matches short (8.3) names; check the long one.
    const std::string_view name(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        name.substr(0, prefix.size()) != prefix || !EndsWith(name, suffix) ||
        now - ToUnix(found.ftLastWriteTime) < min_age_seconds) {
      continue;
    }
    if (::DeleteFileA((folder + found.cFileName).c_str())) ++deleted;
  } while (::FindNextFileA(find.get(), &found));
  return deleted;
}

int64_t UnixTimeNow() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  return ToUnix(ft);
}

}  // namespace vantrel
