// Case mapping of strings in the system's ANSI code page: single-byte letters
// through the code page's table, double-byte characters through the locale
// (LCMapStringA), so letters beyond A-Z fold too.
#pragma once

#include <string>

namespace vantrel {

std::string LowerAnsi(const std::string& s);
std::string UpperAnsi(const std::string& s);

}  // namespace vantrel
