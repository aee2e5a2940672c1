#include "platform/ansi.h"

#include <windows.h>

namespace vantrel {
namespace {

// The strings are in the system's ANSI code page, whatever the user's
// locale: without LOCALE_USE_CP_ACP, LCMapStringA would read them in the
// code page of the locale it is given (an English user locale on a Chinese
// system reads GBK as code page 1252 and "lower-cases" the halves of its
// characters). The locale still gives the case rules.
constexpr DWORD kMapFlags = LOCALE_USE_CP_ACP;

std::string MapCase(const std::string& s, DWORD flag) {
  if (s.empty()) return s;
  int n = static_cast<int>(s.size());
  std::string out(s.size(), '\0');
  int got = ::LCMapStringA(LOCALE_USER_DEFAULT, flag | kMapFlags, s.data(), n, &out[0], n);
  if (got <= 0) {
    // The mapping may change the byte count for odd input; ask for the size.
    int need = ::LCMapStringA(LOCALE_USER_DEFAULT, flag | kMapFlags, s.data(), n, nullptr, 0);
    if (need <= 0) return s;
    out.assign(static_cast<size_t>(need), '\0');
    got = ::LCMapStringA(LOCALE_USER_DEFAULT, flag | kMapFlags, s.data(), n, &out[0], need);
    if (got <= 0) return s;
  }
  out.resize(static_cast<size_t>(got));
  return out;
}

}  // namespace

const LeadBytes& AnsiLeadBytes() {
  static const LeadBytes lead = [] {
    LeadBytes table{};
    for (int b = 0; b < 256; ++b) table[b] = ::IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
    return table;
  }();
  return lead;
}

std::string LowerAnsi(const std::string& s) { return MapCase(s, LCMAP_LOWERCASE); }
std::string UpperAnsi(const std::string& s) { return MapCase(s, LCMAP_UPPERCASE); }

}  // namespace vantrel

namespace vantrel {

AnsiUpperFolder::AnsiUpperFolder() {
  const std::array<bool, 256>& lead = AnsiLeadBytes();
  for (int b = 0; b < 256; ++b) {
    upper_[b] = static_cast<unsigned char>(b);
    whole_[b] = false;
    if (b == 0) continue;
    const char c = static_cast<char>(b);
    if (lead[b]) {
      whole_[b] = true;
      continue;
    }
    char out[8] = {};
    const int got =
        ::LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE | kMapFlags, &c, 1, out, sizeof out);
    if (got == 1) {
      upper_[b] = static_cast<unsigned char>(out[0]);
    } else {
      whole_[b] = true;
    }
  }
}

void AnsiUpperFolder::Fold(std::string_view s, std::string* out) const {
  out->resize(s.size());
  char* d = &(*out)[0];
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (whole_[b]) {
      *out = UpperAnsi(std::string(s));
      return;
    }
    d[i] = static_cast<char>(upper_[b]);
  }
}

}  // namespace vantrel
