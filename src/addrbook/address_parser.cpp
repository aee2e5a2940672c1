#include "addrbook/address_parser.h"

#include <cstring>

#include "addrbook/find_byte.h"

namespace vantrel {
namespace {

constexpr char kEndOfData = 0x1A;

// Finds kPrefMarker in [p, end) by its 'P': an upper-case P is rare in
// address books (a few names, "TYPE"), far rarer than the marker's 'E' or
// its ';'.
const char* FindMarker(const char* p, const char* end) {
  constexpr size_t kBefore = 6;  // "EMAIL;"
  constexpr size_t kAfter = 3;   // "REF"
  static_assert(kBefore + 1 + kAfter == kPrefMarker.size(), "marker layout");
  static_assert(kPrefMarker[kBefore] == 'P', "marker layout");
  if (end - p < static_cast<ptrdiff_t>(kPrefMarker.size())) return nullptr;
  const char* s = p + kBefore;
  const char* last = end - kAfter;  // one past the last possible 'P'
  while (s < last) {
    s = FindByte(s, last, 'P');
    if (!s) return nullptr;
    if (std::memcmp(s - kBefore, kPrefMarker.data(), kBefore) == 0 &&
        std::memcmp(s + 1, kPrefMarker.data() + kBefore + 1, kAfter) == 0) {
      return s - kBefore;
    }
    ++s;
  }
  return nullptr;
}

// The address of a line known to hold the marker.
void AppendAddress(const char* line, const char* end, std::vector<std::string>& addresses) {
  // The first ':' of the line, even one before the marker.
  const char* colon = FindByte(line, end, ':');
  const char* begin = colon ? colon + 1 : line;
  // Addresses are C strings from here on (the completion field, the host):
  // what follows a NUL could never be shown or sent.
  const char* nul = FindByte(begin, end, '\0');
  addresses.emplace_back(begin, nul ? nul : end);
}

}  // namespace

bool IsAddressBookPath(std::string_view lowered_path) {
  return lowered_path.find(kAddressBookTag) != std::string_view::npos;
}

void TakeAddressFromLine(std::string_view line, std::vector<std::string>& addresses) {
  const char* begin = line.data();
  const char* end = begin + line.size();
  if (FindMarker(begin, end)) AppendAddress(begin, end, addresses);
}

bool CAddressParser::Feed(const char* data, size_t size) {
  if (ended_) return false;
  if (size == 0) return true;
  const char* end = data + size;
  const char* eof = FindByte(data, end, kEndOfData);
  if (eof) end = eof;

  const char* p = data;
  if (!carry_.empty() || skipping_) {
    // Finish the line begun in an earlier chunk.
    const char* nl = FindByte(p, end, '\n');
    if (!nl) {
      Carry(p, end);
      if (eof) Finish();
      return !eof;
    }
    Carry(p, nl);
    if (!skipping_) TakeRawLine(carry_.data(), carry_.data() + carry_.size());
    carry_.clear();
    skipping_ = false;
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
  if (!carry_.empty() && !skipping_) TakeAddressFromLine(carry_, addresses_);
  carry_.clear();
  skipping_ = false;
}

void CAddressParser::Carry(const char* begin, const char* end) {
  if (skipping_) return;
  const size_t size = static_cast<size_t>(end - begin);
  if (size > kMaxLineBytes - carry_.size()) {
    skipping_ = true;
    std::string().swap(carry_);  // the memory too
    return;
  }
  carry_.append(begin, end);
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
    if (static_cast<size_t>(nl - line) > kMaxLineBytes) {  // too long: no address
      p = nl + 1;
      continue;
    }
    // The marker is known to be there: no second search. The line ended by
    // LF loses the CR of a CR LF pair (nl[-1] is past the marker).
    const char* line_end = nl[-1] == '\r' ? nl - 1 : nl;
    AppendAddress(line, line_end, addresses_);
    p = nl + 1;
  }
  // Keep the unfinished last line for the next chunk.
  const char* tail = end;
  while (tail > p && tail[-1] != '\n') --tail;
  carry_.clear();
  Carry(tail, end);
}

// A line that was ended by LF: the CR of a CR LF pair is no part of it.
void CAddressParser::TakeRawLine(const char* begin, const char* end) {
  if (end > begin && end[-1] == '\r') --end;
  TakeAddressFromLine(std::string_view(begin, static_cast<size_t>(end - begin)), addresses_);
}

}  // namespace vantrel
