// Strict UTF-8 decoding against iconv's answers on a table of byte strings.
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include "platform/iconv_text_codec.h"

using namespace vantrel;

namespace {

struct Utf8Case {
  const char* bytes;
  bool valid;
};

const Utf8Case kUtf8Cases[] = {
    {"", true},
    {"plain", true},
    {"J\xc3\xbcrgen", true},
    {"\xe5\xbc\xa0\xe4\xb8\x89", true},
    {"\xf0\x9f\x98\x80 \xf0\xa0\x80\x80", true},  // surrogate pairs
    {"\xf4\x8f\xbf\xbf", true},                  // U+10FFFF
    {"\xef\xbf\xbd", true},
    {"\xc3", false},                             // cut short
    {"\xe5\xbc", false},
    {"\x80", false},                             // stray continuation
    {"\xc0\x80", false},                         // over-long NUL
    {"\xe0\x80\xaf", false},                     // over-long '/'
    {"\xf0\x8f\xbf\xbf", false},                 // over-long U+FFFF
    {"\xed\xa0\x80", false},                     // encoded surrogate
    {"\xf4\x90\x80\x80", false},                 // above U+10FFFF
    {"\xf8\x88\x80\x80\x80", false},
    {"\xfe", false},
    {"ok\xc3(", false},                          // bad continuation
};

TEST(Utf8ToWide, AgreesWithIconv) {
  IconvTextCodec utf8(65001);
  for (const Utf8Case& c : kUtf8Cases) {
    std::u16string got, want;
    const bool ok = Utf8ToWide(c.bytes, &got);
    EXPECT_EQ(ok, c.valid) << c.bytes;
    EXPECT_EQ(utf8.CharsetToWide("UTF-8", c.bytes, &want), c.valid) << c.bytes;
    if (ok && c.valid) {
      EXPECT_TRUE(got == want) << c.bytes;
    }
  }
}

}  // namespace
