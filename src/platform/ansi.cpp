#include "platform/ansi.h"

#include <windows.h>

namespace vantrel {
namespace {

std::string MapCase(const std::string& s, DWORD flag) {
  if (s.empty()) return s;
  int n = static_cast<int>(s.size());
  std::string out(s.size(), '\0');
  int got = ::LCMapStringA(LOCALE_USER_DEFAULT, flag, s.data(), n, &out[0], n);
  if (got <= 0) {
    // The mapping may change the byte count for odd input; ask for the size.
    int need = ::LCMapStringA(LOCALE_USER_DEFAULT, flag, s.data(), n, nullptr, 0);
    if (need <= 0) return s;
    out.assign(static_cast<size_t>(need), '\0');
    got = ::LCMapStringA(LOCALE_USER_DEFAULT, flag, s.data(), n, &out[0], need);
    if (got <= 0) return s;
  }
  out.resize(static_cast<size_t>(got));
  return out;
}

}  // namespace

std::string LowerAnsi(const std::string& s) { return MapCase(s, LCMAP_LOWERCASE); }
std::string UpperAnsi(const std::string& s) { return MapCase(s, LCMAP_UPPERCASE); }

}  // namespace vantrel
