// The usage store on real files under Wine: loading what was saved, bad and
// newer stores, stores that cannot be written, a write cut short by a crash,
// and two processes writing one store at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "complete/usage_file.h"
#include "platform/files.h"
#include "watch/watch_test_util.h"

using namespace vantrel;
using watchtest::ScratchDir;

namespace {

constexpr int64_t kT0 = 1700000000;
const char kWriterSwitch[] = "--vantrel-usage-writer=";

std::string ReadAll(const std::string& path) {
  std::string bytes;
  ReadFilePrefix(path, 64 << 20, &bytes);
  return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
  DWORD put = 0;
  ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  ::CloseHandle(f);
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeOld(const std::string& path, int64_t seconds) {
  HANDLE f = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, f);
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ULL;
  ft.dwLowDateTime = t.LowPart;
  ft.dwHighDateTime = t.HighPart;
  ::SetFileTime(f, nullptr, nullptr, &ft);
  ::CloseHandle(f);
}

std::map<std::string, std::string> Contents(const UsageBook& book) {
  std::map<std::string, std::string> out;
  for (const auto& [key, e] : book.entries()) {
    out[key] = std::to_string(e.score) + "@" + std::to_string(e.time) + (e.hidden ? " hidden" : "");
  }
  return out;
}

UsageBook Book(const std::string& prefix, int n) {
  UsageBook book;
  for (int i = 0; i < n; ++i) book.RecordUse(prefix + std::to_string(i) + "@X", kT0 + i);
  return book;
}

// The child side of the two-writer case, run before GoogleTest starts: save
// its own book over and over, then exit with the number of saves that
// failed (a rename can lose to the other process's at the same moment).
struct WriterChild {
  WriterChild() {
    const std::string cmd = ::GetCommandLineA();
    const size_t at = cmd.find(kWriterSwitch);
    if (at == std::string::npos) return;
    // "<folder>|<tag>"
    const std::string arg = cmd.substr(at + sizeof kWriterSwitch - 1);
    const size_t bar = arg.find('|');
    UsageFile file(arg.substr(0, bar), "Vantrel");
    const UsageBook book = Book(arg.substr(bar + 1), 300);
    int failed = 0;
    for (int i = 0; i < 400; ++i) failed += file.Save(book) ? 0 : 1;
    ::ExitProcess(static_cast<UINT>(failed));
  }
} g_writer_child;

}  // namespace

TEST(UsageFile, SavesAndLoadsTheWholeBookAtTheDocumentedPath) {
  ScratchDir dir("usage");
  UsageFile file(dir.path() + "\\", "Vantrel");
  EXPECT_EQ(dir / "Vantrel.usage", file.path());
  UsageBook book;
  EXPECT_EQ(UsageStoreState::kMissing, file.Load(&book));
  book.RecordUse("A@X", kT0);
  book.RecordUse("A@X", kT0 + 10);
  book.Hide("B@X");
  ASSERT_TRUE(file.Save(book));
  EXPECT_FALSE(Exists(file.TempPath())) << "the temporary file is renamed, not left";
  EXPECT_EQ(SerializeUsageStore(book), ReadAll(dir / "Vantrel.usage"));
  UsageBook back;
  UsageFile again(dir.path() + "\\", "Vantrel");
  EXPECT_EQ(UsageStoreState::kRead, again.Load(&back));
  EXPECT_EQ(Contents(book), Contents(back));
}

TEST(UsageFile, BadStoresStartEmptyAndAreReplacedAtTheNextWrite) {
  UsageBook good_book = Book("G", 3);
  const std::string good = SerializeUsageStore(good_book);
  std::string newer = good;
  newer[8] = 2;  // the version; the header's checksum then fails: damaged
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"truncated", good.substr(0, good.size() - 1)},
      {"damaged", newer},
      {"not a store", "EMAIL;PREF:a@x\r\n"},
      {"huge", good + std::string(kUsageStoreMaxBytes + 10, 'x')},
  };
  for (const Case& c : cases) {
    ScratchDir dir("usage");
    WriteAll(dir / "Vantrel.usage", c.bytes);
    UsageFile file(dir.path() + "\\", "Vantrel");
    UsageBook book = Book("STALE", 2);
    EXPECT_EQ(UsageStoreState::kCorrupt, file.Load(&book)) << c.what;
    EXPECT_EQ(0u, book.size()) << c.what;
    book.RecordUse("NEW@X", kT0);
    EXPECT_TRUE(file.Save(book)) << c.what;
    UsageBook back;
    EXPECT_EQ(UsageStoreState::kRead, file.Load(&back)) << c.what;
    EXPECT_EQ(Contents(book), Contents(back)) << c.what;
  }
}

TEST(UsageFile, ANewerStoreIsReadButNeverRewritten) {
  ScratchDir dir("usage");
  // A version 2 store: a longer header, otherwise the same.
  UsageBook theirs = Book("T", 2);
  std::string v1 = SerializeUsageStore(theirs);
  std::string v2 = v1.substr(0, 32) + std::string(8, '\0') + v1.substr(32);
  v2[8] = 2;
  v2[10] = 40;
  const uint32_t crc = Crc32(std::string_view(v2).substr(0, 28));
  for (int i = 0; i < 4; ++i) v2[28 + i] = static_cast<char>(crc >> (8 * i));
  WriteAll(dir / "Vantrel.usage", v2);
  UsageFile file(dir.path() + "\\", "Vantrel");
  UsageBook book;
  EXPECT_EQ(UsageStoreState::kNewerRead, file.Load(&book));
  EXPECT_EQ(Contents(theirs), Contents(book));
  book.RecordUse("MINE@X", kT0);
  EXPECT_FALSE(file.Save(book));
  EXPECT_EQ(v2, ReadAll(dir / "Vantrel.usage"));

  v2[40] ^= 1;  // its body no longer matches its checksum
  WriteAll(dir / "Vantrel.usage", v2);
  EXPECT_EQ(UsageStoreState::kNewerUnreadable, file.Load(&book));
  EXPECT_EQ(0u, book.size());
  EXPECT_FALSE(file.Save(Book("MINE", 1)));
  EXPECT_EQ(v2, ReadAll(dir / "Vantrel.usage"));
}

TEST(UsageFile, AStoreThatCannotBeWrittenLeavesTheBookInMemory) {
  {
    // The data folder is gone.
    ScratchDir dir("usage");
    UsageFile file(dir.path() + "\\missing\\", "Vantrel");
    UsageBook book;
    EXPECT_EQ(UsageStoreState::kMissing, file.Load(&book));
    book.RecordUse("A@X", kT0);
    EXPECT_FALSE(file.Save(book));
    EXPECT_EQ(1u, book.size());
  }
  {
    // The temporary file cannot be made (a folder holds its name), as with
    // a folder the user may not write to.
    ScratchDir dir("usage");
    UsageFile file(dir.path() + "\\", "Vantrel");
    ASSERT_TRUE(::CreateDirectoryA(file.TempPath().c_str(), nullptr));
    EXPECT_FALSE(file.Save(Book("A", 1)));
    EXPECT_FALSE(Exists(file.path()));
    ::RemoveDirectoryA(file.TempPath().c_str());
  }
  {
    // A store held open without sharing by someone else: not read, and
    // left alone for the session.
    ScratchDir dir("usage");
    UsageFile file(dir.path() + "\\", "Vantrel");
    const std::string before = SerializeUsageStore(Book("OLD", 1));
    WriteAll(file.path(), before);
    HANDLE lock = ::CreateFileA(file.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    UsageBook book;
    EXPECT_EQ(UsageStoreState::kUnopenable, file.Load(&book));
    ::CloseHandle(lock);
    EXPECT_FALSE(file.Save(Book("A", 1)));
    EXPECT_EQ(before, ReadAll(file.path()));
  }
}

TEST(UsageFile, AWriteCutShortByACrashIsIgnoredAndCleanedUp) {
  ScratchDir dir("usage");
  UsageFile file(dir.path() + "\\", "Vantrel");
  const UsageBook saved = Book("SAVED", 4);
  ASSERT_TRUE(file.Save(saved));
  // What a crash between writing and renaming leaves: a partial temporary
  // file of a process long gone, and one of a process writing right now.
  const std::string partial = SerializeUsageStore(Book("LOST", 50)).substr(0, 100);
  WriteAll(dir / "Vantrel.usage.1a2b.tmp", partial);
  MakeOld(dir / "Vantrel.usage.1a2b.tmp", 3600);
  WriteAll(dir / "Vantrel.usage.3c4d.tmp", partial);
  WriteAll(dir / "Other.usage.1a2b.tmp", partial);
  MakeOld(dir / "Other.usage.1a2b.tmp", 3600);
  UsageBook book;
  EXPECT_EQ(UsageStoreState::kRead, file.Load(&book));
  EXPECT_EQ(Contents(saved), Contents(book));
  EXPECT_FALSE(Exists(dir / "Vantrel.usage.1a2b.tmp")) << "an old leftover is removed";
  EXPECT_TRUE(Exists(dir / "Vantrel.usage.3c4d.tmp")) << "a young one may be a write under way";
  EXPECT_TRUE(Exists(dir / "Other.usage.1a2b.tmp")) << "another plug-in's store is not ours";

  // This process's own leftover (a crash of an earlier process with the
  // same id) is simply overwritten.
  WriteAll(file.TempPath(), partial);
  book.RecordUse("NEW@X", kT0);
  ASSERT_TRUE(file.Save(book));
  EXPECT_FALSE(Exists(file.TempPath()));
  UsageBook back;
  EXPECT_EQ(UsageStoreState::kRead, file.Load(&back));
  EXPECT_EQ(Contents(book), Contents(back));
}

TEST(UsageFile, TwoProcessesWritingAtOnceLeaveOneWholeStore) {
  ScratchDir dir("usage");
  const std::string folder = dir.path() + "\\";
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  PROCESS_INFORMATION procs[2] = {};
  const char* tags[2] = {"P", "Q"};
  for (int i = 0; i < 2; ++i) {
    std::string cmd = std::string("\"") + self + "\" " + kWriterSwitch + folder + "|" + tags[i];
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    ASSERT_TRUE(::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &si, &procs[i]))
        << ::GetLastError();
  }
  // Meanwhile every read sees one writer's whole store, or none yet.
  const auto p = Contents(Book("P", 300));
  const auto q = Contents(Book("Q", 300));
  UsageFile reader(folder, "Vantrel");
  int reads = 0;
  int whole = 0;
  HANDLE both[2] = {procs[0].hProcess, procs[1].hProcess};
  while (::WaitForMultipleObjects(2, both, TRUE, 0) == WAIT_TIMEOUT && reads < 100000) {
    UsageBook book;
    const UsageStoreState state = reader.Load(&book);
    ++reads;
    if (state == UsageStoreState::kMissing) continue;
    ASSERT_EQ(UsageStoreState::kRead, state) << "read " << reads;
    const auto got = Contents(book);
    ASSERT_TRUE(got == p || got == q) << "read " << reads << ": a mix of both writers";
    ++whole;
  }
  for (PROCESS_INFORMATION& pi : procs) {
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 60000));
    DWORD failed = 0;
    ::GetExitCodeProcess(pi.hProcess, &failed);
    EXPECT_LT(failed, 400u) << "every save of a writer failed";
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  }
  UsageBook last;
  ASSERT_EQ(UsageStoreState::kRead, reader.Load(&last));
  const auto got = Contents(last);
  EXPECT_TRUE(got == p || got == q);
  std::printf("two writers: %d reads during the writes, %d of a whole store\n", reads, whole);
  WIN32_FIND_DATAA fd;
  HANDLE find = ::FindFirstFileA((folder + "*.tmp").c_str(), &fd);
  EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "a temporary file was left: " << fd.cFileName;
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
}
