// The byte rules of the address-book reader, free of window calls so they
// build and are tested natively.
//
// A file is fed in chunks of any size as ReadFile delivers them; the parser
// behaves exactly like reading the whole file line by line in the C runtime's
// text mode:
//  - a line is the bytes up to the next LF, the LF not part of it; a last
//    line without LF counts like any other; an empty tail after the last LF
//    is no line;
//  - CR LF reads as LF (also when the CR ends one chunk and the LF starts the
//    next); a CR not followed by LF stays in the line;
//  - a byte 0x1A ends the data.
// A line that contains "EMAIL;PREF" yields the bytes after its first ':' (the
// whole line when it has none), untrimmed, cut at the first NUL byte.
//
// Speed and memory: the parser looks for the marker in the whole chunk and
// only then for the line around it, so lines without an address cost no more
// than a scan of their bytes. Only the unfinished line at a chunk's end is
// copied (into carry_): the parser holds at most one line besides the
// caller's chunk.
//
// A line longer than kMaxLineBytes (its bytes before the LF) yields nothing
// and is skipped up to its LF: a file with no line feed at all (a
// preallocated file, a disk image) would otherwise be held whole in memory,
// and a 32-bit host runs out of address space long before a gigabyte. Lines
// up to that length, far beyond any address book's, are read whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The text that marks a line carrying a preferred address (case-sensitive).
inline constexpr std::string_view kPrefMarker = "EMAIL;PREF";

// The text that makes a lower-cased path an address-book file: a substring
// test on the whole path, so "x.babx" and every file below "old.bab\" count.
inline constexpr std::string_view kAddressBookTag = ".bab";

// The longest line that is read (see above): 16 MiB.
inline constexpr size_t kMaxLineBytes = size_t(16) << 20;

// True if the already lower-cased path names an address-book file.
bool IsAddressBookPath(std::string_view lowered_path);

// The address carried by one line (LF and the CR of CR LF already removed),
// appended to `addresses`; lines without the marker add nothing.
void TakeAddressFromLine(std::string_view line, std::vector<std::string>& addresses);

// Reads one file's addresses incrementally. One object per file.
class CAddressParser {
 public:
  explicit CAddressParser(std::vector<std::string>& addresses) : addresses_(addresses) {}
  CAddressParser(const CAddressParser&) = delete;
  CAddressParser& operator=(const CAddressParser&) = delete;

  // Takes the next bytes of the file. Returns false once the data has ended
  // (a 0x1A byte was met, or Finish() was called): the caller can stop
  // reading, and further input is ignored.
  bool Feed(const char* data, size_t size);

  // The end of the file (or a read error): reads the unfinished last line.
  void Finish();

  bool ended() const { return ended_; }

 private:
  void FeedLines(const char* p, const char* end);
  void TakeRawLine(const char* begin, const char* end);

  std::vector<std::string>& addresses_;
  // Appends to carry_, or drops the line once it is longer than the limit.
  void Carry(const char* begin, const char* end);

  std::string carry_;  // raw bytes of the line not yet ended by LF
  bool skipping_ = false;  // the current line is too long: dropped up to its LF
  bool ended_ = false;
};

}  // namespace vantrel
