#include "platform/charset_names.h"

#include <cstddef>
#include <string>

namespace vantrel {
namespace {

struct CharsetName {
  const char* name;  // upper case, '-' for '_'
  unsigned code_page;
};

constexpr CharsetName kNames[] = {
    {"UTF-8", 65001},        {"UTF8", 65001},
    {"SHIFT-JIS", 932},      {"SJIS", 932},         {"X-SJIS", 932},
    {"MS-KANJI", 932},       {"CSSHIFTJIS", 932},   {"WINDOWS-31J", 932},
    {"CP932", 932},          {"MS932", 932},        {"WINDOWS-932", 932},
    {"GBK", 936},            {"GB2312", 936},       {"CP936", 936},
    {"MS936", 936},          {"WINDOWS-936", 936},  {"EUC-CN", 936},
    {"X-GBK", 936},          {"CSGB2312", 936},     {"GB18030", 54936},
    {"BIG5", 950},           {"BIG-5", 950},        {"CP950", 950},
    {"CSBIG5", 950},         {"X-X-BIG5", 950},     {"WINDOWS-950", 950},
    {"EUC-JP", 20932},       {"X-EUC-JP", 20932},
    {"EUC-KR", 949},         {"KS-C-5601-1987", 949}, {"KSC5601", 949},
    {"CP949", 949},          {"UHC", 949},          {"WINDOWS-949", 949},
    {"ISO-8859-1", 28591},   {"ISO8859-1", 28591},  {"LATIN1", 28591},
    {"L1", 28591},           {"CP819", 28591},      {"ISO-IR-100", 28591},
    {"US-ASCII", 20127},     {"ASCII", 20127},      {"ANSI-X3.4-1968", 20127},
    {"KOI8-R", 20866},       {"KOI8-U", 21866},
};

// "1250".."1258" after WINDOWS- or CP, "2".."16" after ISO-8859-.
unsigned Number(const std::string& s, size_t from) {
  if (from >= s.size() || s.size() - from > 5) return 0;
  unsigned n = 0;
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    n = n * 10 + static_cast<unsigned>(s[i] - '0');
  }
  return n;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

unsigned CodePageOfCharset(std::string_view name) {
  if (name.empty() || name.size() > 40) return 0;
  std::string s(name);
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '_') c = '-';
  }
  for (const CharsetName& n : kNames) {
    if (s == n.name) return n.code_page;
  }
  unsigned n = 0;
  if (StartsWith(s, "WINDOWS-")) n = Number(s, 8);
  else if (StartsWith(s, "CP")) n = Number(s, 2);
  if (n >= 1250 && n <= 1258) return n;
  if (StartsWith(s, "ISO-8859-")) {
    n = Number(s, 9);
    // Windows has no 28600, 28601 and 28602 (ISO-8859-10 to 12).
    if ((n >= 2 && n <= 9) || n == 13 || n == 15) return 28590 + n;
  }
  return 0;
}

}  // namespace vantrel
