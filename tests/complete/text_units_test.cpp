// Caret and selection positions between the control's unit and bytes.
#include <gtest/gtest.h>

#include <string>

#include "complete/text_units.h"

using namespace vantrel;

namespace {
LeadBytes Gbk() {
  LeadBytes lead{};
  for (int b = 0x81; b <= 0xFE; ++b) lead[b] = true;
  return lead;
}
}  // namespace

TEST(TextUnits, CharactersAndBytesBothWays) {
  const LeadBytes lead = Gbk();
  // Five characters in seven bytes: 张 a 三 , and a lead byte with no trail.
  const std::string text = "\xD5\xC5" "a\xC8\xFD,\x81";
  const int bytes_of_char[] = {0, 2, 3, 5, 6, 7};
  for (int c = 0; c <= 5; ++c) {
    EXPECT_EQ(bytes_of_char[c], ByteIndexOfChar(text, c, lead)) << "character " << c;
    EXPECT_EQ(c, CharIndexOfByte(text, bytes_of_char[c], lead)) << "character " << c;
  }
  EXPECT_EQ(1, CharIndexOfByte(text, 1, lead)) << "inside a character: that character counts";
  EXPECT_EQ(3, CharIndexOfByte(text, 4, lead));
  EXPECT_EQ(5, CharIndexOfByte(text, 99, lead));
  EXPECT_EQ(0, CharIndexOfByte(text, -2, lead));
  EXPECT_EQ(7, ByteIndexOfChar(text, 40, lead));
  EXPECT_EQ(0, ByteIndexOfChar(text, -1, lead));
  EXPECT_EQ(0, ByteIndexOfChar("", 3, lead));

  // In a single-byte code page the counts are the same.
  const LeadBytes none{};
  EXPECT_EQ(4, ByteIndexOfChar(text, 4, none));
  EXPECT_EQ(6, CharIndexOfByte(text, 6, none));
}

TEST(TextUnits, TheControlsLengthTellsItsUnit) {
  const LeadBytes lead = Gbk();
  const std::string wide = "\xD5\xC5\xC8\xFD,li";  // 5 characters, 7 bytes
  EXPECT_EQ(PositionUnit::kBytes, UnitFromLength(7, wide, lead));
  EXPECT_EQ(PositionUnit::kChars, UnitFromLength(5, wide, lead));
  EXPECT_EQ(PositionUnit::kUnknown, UnitFromLength(6, wide, lead)) << "fits neither";
  EXPECT_EQ(PositionUnit::kUnknown, UnitFromLength(5, "ab,li", lead)) << "nothing to tell by";
  EXPECT_EQ(PositionUnit::kUnknown, UnitFromLength(7, wide, LeadBytes{}));
  EXPECT_TRUE(HasDoubleByte("ab\xFE", lead));
  EXPECT_FALSE(HasDoubleByte("ab,\x80", lead));
}
