// Walks over paths in single- and double-byte code pages: the last
// separator, a trailing backslash, the application name from a module's path.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/multibyte.h"

using namespace vantrel;

TEST(ModuleName, FileNameWithoutFolderAndExtension) {
  // Shift-JIS (code page 932): lead bytes 0x81-0x9F and 0xE0-0xFC; the
  // katakana "\x83\x5c" ends in the byte of '\'.
  std::array<bool, 256> sjis{};
  for (int b = 0x81; b <= 0x9F; ++b) sjis[b] = true;
  for (int b = 0xE0; b <= 0xFC; ++b) sjis[b] = true;
  const std::array<bool, 256> single{};
  const struct {
    const char* path;
    const std::array<bool, 256>& lead;
    const char* name;
  } cases[] = {
      {"C:\\Program Files\\Mail\\PlugIns\\Vantrel.DLL", single, "Vantrel"},
      {"C:\\a.b\\Vantrel", single, "Vantrel"},
      {"C:/mail/name.v2.dll", single, "name.v2"},
      {"Vantrel.dll", single, "Vantrel"},
      {"C:\\x\\", single, ""},
      {"", single, ""},
      {"C:\\x\\Van\x83\\trel.dll", single, "trel"},  // 0x83 is a character of its own
      {"C:\\x\\Van\x83\\trel.dll", sjis, "Van\x83\\trel"},
      {"C:\\x\\\x83\\.dll", sjis, "\x83\\"},
      {"C:\\\x83\\\\Vantrel.dll", sjis, "Vantrel"},
      {"C:\\\x83\\.v1\\Vantrel", sjis, "Vantrel"},
      {"C:\\x\\ab\x83", sjis, "ab\x83"},  // a lead byte with no trail
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, FileBaseName(c.path, c.lead)) << c.path;
}

TEST(Multibyte, LastBackslashIsAWholeCharacter) {
  // GBK (code page 936): lead bytes 0x81-0xFE; "\xB1\x5C" is one character.
  LeadBytes gbk{};
  for (int b = 0x81; b <= 0xFE; ++b) gbk[b] = true;
  const LeadBytes single{};
  const struct {
    const char* path;
    const LeadBytes& lead;
    size_t after_last;
    bool ends_with;
  } cases[] = {
      {"", gbk, 0, false},
      {"name", gbk, 0, false},
      {"D:\\AB\\", gbk, 6, true},
      {"D:\\AB\\x.bab", gbk, 6, false},
      {"D:\\\xB1\x5C", gbk, 3, false},
      {"D:\\\xB1\x5C", single, 5, true},
      {"D:\\\xB1\x5C\\x.bab", gbk, 6, false},
      {"D:\\\xB1", gbk, 3, false},  // a lead byte with no trail
      {"D:/AB/", gbk, 0, false},      // only the backslash separates here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.after_last, AfterLastBackslash(c.path, c.lead)) << c.path;
    EXPECT_EQ(c.ends_with, EndsWithBackslash(c.path, c.lead)) << c.path;
  }
}
