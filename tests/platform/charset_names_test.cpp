// Character set names as address books write them, to Windows code pages.
#include "platform/charset_names.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

struct NameCase {
  const char* name;
  unsigned code_page;
};

const NameCase kNameCases[] = {
    {"UTF-8", 65001},        {"utf-8", 65001},       {"UTF8", 65001},
    {"SHIFT_JIS", 932},      {"Shift-JIS", 932},     {"sjis", 932},
    {"CP932", 932},          {"Windows-31J", 932},   {"x-sjis", 932},
    {"GBK", 936},            {"gb2312", 936},        {"CP936", 936},
    {"GB18030", 54936},      {"Big5", 950},          {"EUC-JP", 20932},
    {"EUC-KR", 949},         {"ks_c_5601-1987", 949}, {"ISO-8859-1", 28591},
    {"latin1", 28591},       {"ISO-8859-2", 28592},  {"iso-8859-15", 28605},
    {"windows-1252", 1252},  {"CP1251", 1251},       {"US-ASCII", 20127},
    {"KOI8-R", 20866},       {"", 0},                {"UTF-7", 0},
    {"ISO-8859-10", 0},      {"windows-1249", 0},    {"CP12520", 0},
    {"X-UNKNOWN", 0},        {"UTF-8 ", 0},
};

TEST(CodePageOfCharset, KnownNamesInAnyCase) {
  for (const NameCase& c : kNameCases) {
    EXPECT_EQ(CodePageOfCharset(c.name), c.code_page) << c.name;
  }
}

}  // namespace
