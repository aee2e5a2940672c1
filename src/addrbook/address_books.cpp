// Finding the address-book files and reading them.
//
// The walk is recursive, one level of recursion per folder level. Every level
// adds at least two characters ("\x") to a folder path, and a folder whose
// search pattern does not fit in MAX_PATH is not searched, so the depth is
// bounded at about 130 levels; each level keeps only a WIN32_FIND_DATAA and
// a few strings on the stack. The same bound ends a walk around a junction
// that points back up the tree.
//
// Files are opened with every share flag, so the host saving an address book
// while we read it is never blocked; we may then read a half-written file,
// which the watcher reports again once the host is done.
#include "addrbook/address_books.h"

#include <windows.h>

#include <memory>

#include "addrbook/address_parser.h"
#include "addrbook/card_parser.h"
#include "platform/ansi.h"
#include "platform/handles.h"
#include "platform/text_codec.h"

namespace vantrel {
namespace {

// Chunk size for ReadFile: large enough that the system call cost vanishes
// against the bytes, small enough to stay in the cache while parsed.
constexpr DWORD kReadChunk = 256 * 1024;

// True if the last character (not byte) of `s` is a backslash. In the
// double-byte code pages a character's second byte can be 0x5C (code page
// 936: "\x95\x5c"); taking that for a separator would search the parent
// folder for names beginning with the character, find the folder itself and
// recurse into it forever.
bool EndsWithBackslash(const std::string& s) {
  bool last_is_backslash = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (::IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
      ++i;
      last_is_backslash = false;
    } else {
      last_is_backslash = s[i] == '\\';
    }
  }
  return last_is_backslash;
}

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

void ReadAddressBook(const std::string& path, char* buffer, std::vector<std::string>& addresses,
                     NamedAddressSink* rows) {
  UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return;  // unreadable files contribute nothing
  CAddressParser parser(addresses);
  // The name mode reads the same chunks: each file is read once for both.
  std::unique_ptr<CCardParser> cards;
  if (rows) cards.reset(new CCardParser(*rows, SystemTextCodec()));
  for (;;) {
    DWORD got = 0;
    // A read error ends the file like its end would: the lines read so far
    // keep their addresses.
    if (!::ReadFile(file.get(), buffer, kReadChunk, &got, nullptr) || got == 0) break;
    // Both stop at the same 0x1A byte.
    if (cards) cards->Feed(buffer, got);
    if (!parser.Feed(buffer, got)) break;
  }
  parser.Finish();
  if (cards) cards->Finish();
}

void ReadAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                      NamedAddressSink* rows) {
  if (paths.empty()) return;
  const std::unique_ptr<char[]> buffer(new char[kReadChunk]);
  for (const std::string& path : paths) ReadAddressBook(path, buffer.get(), addresses, rows);
}

}  // namespace

void ScanAddressBooks(std::string folder, PathList& paths) {
  if (!EndsWithBackslash(folder)) folder += '\\';
  const std::string pattern = folder + "*.*";
  const std::string root = SearchRoot(pattern);
  if (root.empty()) return;

  WIN32_FIND_DATAA fd;
  UniqueFindHandle find(::FindFirstFileA((root + "*.*").c_str(), &fd));
  if (!find) return;
  do {
    const std::string name = fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A subfolder's files stand where the subfolder was met.
      if (name != "." && name != "..") ScanAddressBooks(root + name, paths);
      continue;
    }
    std::string lowered = LowerAnsi(root + name);
    if (IsAddressBookPath(lowered)) paths.push_back(std::move(lowered));
  } while (::FindNextFileA(find.get(), &fd));
}

void ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses) {
  ReadAddressBooks(paths, addresses, nullptr);
}

void ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                       NamedAddressSink& rows) {
  ReadAddressBooks(paths, addresses, &rows);
}

void ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                       std::vector<NamedAddress>* rows) {
  if (!rows) {
    ReadAddressBooks(paths, addresses, nullptr);
    return;
  }
  AppendNamedAddresses append(*rows);
  ReadAddressBooks(paths, addresses, &append);
}

}  // namespace vantrel
