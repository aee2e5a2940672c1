// Finding the address-book files and reading them.
//
// The walk is recursive, one level of recursion per folder level. Every level
// adds at least two characters ("\x") to a folder path, and a folder whose
// search pattern does not fit in MAX_PATH is not searched, so the depth is
// bounded at about 130 levels; each level keeps only a WIN32_FIND_DATAA and
// a few strings on the stack.
//
// A junction or symbolic link can lead back up the tree (a link to ".", or
// to ".." in a subfolder). The path length bound alone would end such a walk
// only after reading every book dozens of times, and two such links make it
// exponential: the host would hang at start. So one scan enters each folder
// once, told by its volume serial number and file index; a link to a folder
// outside the tree is followed like any other folder, once.
//
// Files are opened with every share flag, so the host saving an address book
// while we read it is never blocked; we may then read a half-written file,
// which the watcher reports again once the host is done.
#include "addrbook/address_books.h"

#include <windows.h>

#include <memory>
#include <set>
#include <utility>

#include "addrbook/address_parser.h"
#include "addrbook/card_parser.h"
#include "addrbook/card_reading_thread.h"
#include "platform/ansi.h"
#include "platform/handles.h"
#include "platform/text_codec.h"

namespace vantrel {
namespace {

// Chunk size for ReadFile: large enough that the system call cost vanishes
// against the bytes, small enough to stay in the cache while parsed.
constexpr DWORD kReadChunk = 256 * 1024;

// The absolute folder searched by `pattern`, with its trailing backslash, or
// "" if the pattern is too long for the ANSI directory functions (more than
// MAX_PATH characters with its terminating NUL) or not a valid path.
std::string SearchRoot(const std::string& pattern) {
  if (pattern.size() >= MAX_PATH) return std::string();
  char full[MAX_PATH];
  const DWORD n = ::GetFullPathNameA(pattern.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return std::string();
  // The pattern ends in "\*.*", and the full path keeps that last part.
  std::string root(full, n);
  constexpr char kAll[] = "*.*";
  if (root.size() < 4 || root.compare(root.size() - 3, 3, kAll) != 0 ||
      root[root.size() - 4] != '\\') {
    return std::string();
  }
  root.resize(root.size() - 3);
  return root;
}

// Errors by which another program keeps a file from us for a while: it
// holds the file open without sharing, or locked, or (on Windows) the file
// is being replaced and refuses access until the writer is done.
bool IsHeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// False when another program held the book (see IsHeldByAnother). With
// `cards`, the name mode's card reader is handed the same chunks: each file
// is read once for both, each chunk looked at by both readers at once.
bool ReadAddressBook(const std::string& path, char* buffer, std::vector<std::string>& addresses,
                     CardReadingThread* cards) {
  UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    // Unreadable files contribute nothing. A folder is refused as denied
    // access too, and no other program is behind that.
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return !IsHeldByAnother(error) ||
           (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
  }
  CAddressParser parser(addresses);
  bool held = false;
  for (;;) {
    if (cards) buffer = cards->Buffer();
    DWORD got = 0;
    // A read error ends the file like its end would: the lines read so far
    // keep their addresses.
    if (!::ReadFile(file.get(), buffer, kReadChunk, &got, nullptr)) {
      held = IsHeldByAnother(::GetLastError());  // a locked range
      break;
    }
    if (got == 0) break;
    // Both stop at the same 0x1A byte.
    if (cards) cards->Submit(got);
    if (!parser.Feed(buffer, got)) break;
  }
  parser.Finish();
  if (cards) cards->EndBook();
  return !held;
}

// A folder as the file system knows it, whatever path led to it.
using FolderId = std::pair<DWORD, ULONGLONG>;  // volume serial, file index

// False when the folder cannot be opened to ask (it is then entered without
// the check; the path length bound still ends any loop through it).
// `root` ends with a backslash.
bool GetFolderId(const std::string& root, FolderId* id) {
  // "C:\\" names the drive's root folder, "C:" the drive's current folder.
  const std::string folder = root.size() > 3 ? root.substr(0, root.size() - 1) : root;
  // No access right is needed to read the identity; backup semantics lets a
  // directory be opened at all. Every share flag: nobody is kept out.
  UniqueHandle dir(::CreateFileA(folder.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!dir) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(dir.get(), &info)) return false;
  // Some network file systems give every file the index 0: no identity.
  if (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0) return false;
  id->first = info.dwVolumeSerialNumber;
  id->second = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// `root` is the absolute folder with its trailing backslash.
void ScanFolder(const std::string& root, std::set<FolderId>& entered, PathList& paths) {
  FolderId id;
  if (GetFolderId(root, &id) && !entered.insert(id).second) return;  // met before

  WIN32_FIND_DATAA fd;
  UniqueFindHandle find(::FindFirstFileA((root + "*.*").c_str(), &fd));
  if (!find) return;
  do {
    const std::string name = fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A subfolder's files stand where the subfolder was met.
      if (name != "." && name != "..") {
        const std::string sub = SearchRoot(root + name + "\\*.*");
        if (!sub.empty()) ScanFolder(sub, entered, paths);
      }
      continue;
    }
    std::string lowered = LowerAnsi(root + name);
    if (IsAddressBookPath(lowered)) paths.push_back(std::move(lowered));
  } while (::FindNextFileA(find.get(), &fd));
}

size_t ReadAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                        NamedAddressSink* rows) {
  if (paths.empty()) return 0;
  size_t held = 0;
  if (!rows) {
    const std::unique_ptr<char[]> buffer(new char[kReadChunk]);
    for (const std::string& path : paths)
      held += !ReadAddressBook(path, buffer.get(), addresses, nullptr);
    return held;
  }
  CardReadingThread cards(*rows, SystemTextCodec(), kReadChunk);
  for (const std::string& path : paths) held += !ReadAddressBook(path, nullptr, addresses, &cards);
  cards.Finish();
  return held;
}

}  // namespace

void ScanAddressBooks(std::string folder, PathList& paths) {
  if (!EndsWithBackslash(folder, AnsiLeadBytes())) folder += '\\';
  const std::string root = SearchRoot(folder + "*.*");
  if (root.empty()) return;
  std::set<FolderId> entered;
  ScanFolder(root, entered, paths);
}

size_t ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses) {
  return ReadAddressBooks(paths, addresses, nullptr);
}

size_t ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                         NamedAddressSink& rows) {
  return ReadAddressBooks(paths, addresses, &rows);
}

size_t ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                         std::vector<NamedAddress>* rows) {
  if (!rows) return ReadAddressBooks(paths, addresses, nullptr);
  AppendNamedAddresses append(*rows);
  return ReadAddressBooks(paths, addresses, &append);
}

}  // namespace vantrel
