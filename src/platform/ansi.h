// Case mapping of strings in the system's ANSI code page: single-byte letters
// through the code page's table, double-byte characters through the locale
// (LCMapStringA), so letters beyond A-Z fold too. The bytes are always read
// in the system's ANSI code page (CP_ACP), also when the user's locale has
// another one.
#pragma once

#include <string>
#include <string_view>

#include "platform/multibyte.h"

namespace vantrel {

// lead[b] is true when byte b starts a double-byte character of the
// system's ANSI code page (fixed for the life of the process).
const LeadBytes& AnsiLeadBytes();

std::string LowerAnsi(const std::string& s);
std::string UpperAnsi(const std::string& s);

// UpperAnsi for many strings at once (a whole address list): one
// LCMapStringA call per string costs more than reading the address books
// under some systems, so single-byte characters go through a table built
// once from the same mapping. A string with a double-byte character, or with
// a byte whose mapping is not one byte, is mapped whole by UpperAnsi.
class AnsiUpperFolder {
 public:
  AnsiUpperFolder();
  // Replaces *out with the upper-cased s; the same bytes as UpperAnsi(s).
  void Fold(std::string_view s, std::string* out) const;

 private:
  unsigned char upper_[256];
  bool whole_[256];  // bytes that send the string to UpperAnsi
};

}  // namespace vantrel
