#include "platform/multibyte.h"

namespace vantrel {
namespace {

// Every walk goes forward, a whole character at a time: walking back from
// the end cannot tell a trail byte from a character of its own.
struct Separators {
  size_t after_last = 0;  // just after the last separator, 0 if none
  bool ends_with = false;
};

Separators FindSeparators(std::string_view path, const LeadBytes& lead, bool slash_too) {
  Separators s;
  for (size_t i = 0; i < path.size();) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (lead[c] && i + 1 < path.size()) {
      i += 2;
      s.ends_with = false;
      continue;
    }
    s.ends_with = c == '\\' || (slash_too && c == '/');
    if (s.ends_with) s.after_last = i + 1;
    ++i;
  }
  return s;
}

}  // namespace

size_t AfterLastBackslash(std::string_view path, const LeadBytes& lead) {
  return FindSeparators(path, lead, false).after_last;
}

bool EndsWithBackslash(std::string_view path, const LeadBytes& lead) {
  return FindSeparators(path, lead, false).ends_with;
}

std::string FileBaseName(std::string_view path, const LeadBytes& lead) {
  const std::string_view name = path.substr(FindSeparators(path, lead, true).after_last);
  // A dot cannot be the second byte of a double-byte character in any of
  // these code pages (trail bytes start at 0x40), so the last one is found
  // by byte.
  const size_t dot = name.rfind('.');
  return std::string(name.substr(0, dot));
}

}  // namespace vantrel
