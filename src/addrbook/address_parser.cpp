#include "addrbook/address_parser.h"

#include <cstring>

namespace vantrel {
namespace {

constexpr char kEndOfData = 0x1A;

// Finds kPrefMarker in [p, end). Searching for its ';' with memchr keeps the
// scan of the lines that carry no address close to memchr speed; ';' is far
// rarer in address books than the marker's first letter.
const char* FindMarker(const char* p, const char* end) {
  constexpr size_t kBefore = 5;  // "EMAIL"
  constexpr size_t kAfter = 4;   // "PREF"
  static_assert(kBefore + 1 + kAfter == kPrefMarker.size(), "marker layout");
  if (end - p < static_cast<ptrdiff_t>(kPrefMarker.size())) return nullptr;
  const char* s = p + kBefore;
  const char* last = end - kAfter;  // one past the last possible ';'
  while (s < last) {
    const void* hit = std::memchr(s, ';', static_cast<size_t>(last - s));
    if (!hit) return nullptr;
    s = static_cast<const char*>(hit);
    if (std::memcmp(s - kBefore, kPrefMarker.data(), kBefore) == 0 &&
        std::memcmp(s + 1, kPrefMarker.data() + kBefore + 1, kAfter) == 0) {
      return s - kBefore;
    }
    ++s;
  }
  return nullptr;
}

const char* FindByte(const char* p, const char* end, char c) {
  return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

}  // namespace

bool IsAddressBookPath(std::string_view lowered_path) {
  return lowered_path.find(kAddressBookTag) != std::string_view::npos;
}

void TakeAddressFromLine(std::string_view line, std::vector<std::string>& addresses) {
  if (line.find(kPrefMarker) == std::string_view::npos) return;
  // The first ':' of the line, even one before the marker.
  const size_t colon = line.find(':');
  std::string_view address = colon == std::string_view::npos ? line : line.substr(colon + 1);
  // Addresses are C strings from here on (the completion field, the host):
  // what follows a NUL could never be shown or sent.
  const size_t nul = address.find('\0');
  if (nul != std::string_view::npos) address = address.substr(0, nul);
  addresses.emplace_back(address);
}

bool CAddressParser::Feed(const char* data, size_t size) {
  if (ended_) return false;
  if (size == 0) return true;
  const char* end = data + size;
  const char* eof = FindByte(data, end, kEndOfData);
  if (eof) end = eof;

  const char* p = data;
  if (!carry_.empty()) {
    // Finish the line begun in an earlier chunk.
    const char* nl = FindByte(p, end, '\n');
    if (!nl) {
      carry_.append(p, end);
      if (eof) Finish();
      return !eof;
    }
    carry_.append(p, nl);
    TakeRawLine(carry_.data(), carry_.data() + carry_.size());
    carry_.clear();
    p = nl + 1;
  }
  FeedLines(p, end);
  if (eof) {
    Finish();
    return false;
  }
  return true;
}

void CAddressParser::Finish() {
  if (ended_) return;
  ended_ = true;
  // The last line had no LF: a CR at its end was not followed by LF, so it
  // stays part of the line.
  if (!carry_.empty()) TakeAddressFromLine(carry_, addresses_);
  carry_.clear();
}

// [p, end) starts at a line start. Only lines holding the marker are looked
// at: find the marker, then the line around it.
void CAddressParser::FeedLines(const char* p, const char* end) {
  while (p < end) {
    const char* hit = FindMarker(p, end);
    if (!hit) break;
    const char* line = hit;
    while (line > p && line[-1] != '\n') --line;
    const char* nl = FindByte(hit + kPrefMarker.size(), end, '\n');
    if (!nl) {
      p = line;  // unfinished: carried below
      break;
    }
    TakeRawLine(line, nl);
    p = nl + 1;
  }
  // Keep the unfinished last line for the next chunk.
  const char* tail = end;
  while (tail > p && tail[-1] != '\n') --tail;
  carry_.assign(tail, end);
}

// A line that was ended by LF: the CR of a CR LF pair is no part of it.
void CAddressParser::TakeRawLine(const char* begin, const char* end) {
  if (end > begin && end[-1] == '\r') --end;
  TakeAddressFromLine(std::string_view(begin, static_cast<size_t>(end - begin)), addresses_);
}

}  // namespace vantrel
