// Token bounds around the caret, with the separator set "," the compose
// window gives the field.
#include <gtest/gtest.h>

#include <string>

#include "complete/token.h"

using namespace vantrel;

namespace {
std::string TokenAt(const std::string& text, int caret, const SeparatorSet& seps) {
  TokenBounds b = TokenAround(text, seps, caret);
  EXPECT_LE(0, b.start);
  EXPECT_LE(b.start, b.end);
  EXPECT_LE(b.end, static_cast<int>(text.size()));
  return text.substr(b.start, b.end - b.start);
}
}  // namespace

TEST(Token, AroundTheCaretWithCommaSeparators) {
  SeparatorSet comma(",");
  EXPECT_EQ("bo", TokenAt("ann,bo", 6, comma));
  EXPECT_EQ(" bo", TokenAt("ann, bo", 7, comma)) << "blanks after a separator stay";
  EXPECT_EQ("alice", TokenAt("alice,bob", 2, comma)) << "the part after the caret counts";
  EXPECT_EQ("", TokenAt("al,", 3, comma));
  EXPECT_EQ("al", TokenAt("al,bo", 2, comma));
  EXPECT_EQ("", TokenAt("", 0, comma));
  EXPECT_EQ("bo", TokenAt("al,bo", 3, comma)) << "caret right after the separator";
  EXPECT_EQ("x", TokenAt(",,x,,", 3, comma));
}

TEST(Token, RoutinesAtTheEdges) {
  SeparatorSet comma(",");
  const std::string t = "ab,cd";
  EXPECT_EQ(3, FindTokenStart(t, comma, 99)) << "past the end walks from the last byte";
  EXPECT_EQ(0, FindTokenStart(t, comma, -1));
  EXPECT_EQ(0, FindTokenStart(t, comma, -50));
  EXPECT_EQ(3, FindTokenStart(t, comma, 2)) << "a separator at pos ends the walk at once";
  EXPECT_EQ(2, FindTokenEnd(t, comma, 0));
  EXPECT_EQ(2, FindTokenEnd(t, comma, 2));
  EXPECT_EQ(5, FindTokenEnd(t, comma, 3));
  EXPECT_EQ(7, FindTokenEnd(t, comma, 7)) << "pos itself past the end";
  EXPECT_EQ(2, FindTokenEnd(t, comma, -3)) << "never reads before the text";
  // Caret indices outside the text are clamped into it.
  EXPECT_EQ("cd", TokenAt(t, 1000, comma));
  EXPECT_EQ("ab", TokenAt(t, -4, comma));
}

// A separator string read in a double-byte code page: only its single-byte
// characters end tokens. Neither byte of a double-byte character counts, as
// each of them, taken alone, is part of other characters of the text.
TEST(Token, DoubleByteSeparatorsAddNeitherByte) {
  // GBK: lead bytes 0x81-0xFE. A full-width comma (A3 AC), ";", a character
  // whose trail byte is 'A' (81 41), "|", and a lead byte cut off at the end.
  std::array<bool, 256> lead{};
  for (int b = 0x81; b <= 0xFE; ++b) lead[b] = true;
  SeparatorSet seps("\xA3\xAC;\x81" "A|\xA3", lead);
  for (int b = 1; b < 256; ++b) {
    EXPECT_EQ(b == ';' || b == '|', seps.Contains(static_cast<unsigned char>(b))) << "byte " << b;
  }
  // So a full-width comma in the text belongs to the token; a text byte
  // equal to a lead byte of the separator string does not split it.
  const std::string text = "ann;\xD5\xC5\xA3\xAC" "li|\xA3\xA1x";
  EXPECT_EQ("\xD5\xC5\xA3\xAC" "li", TokenAt(text, 9, seps));
  EXPECT_EQ("\xA3\xA1x", TokenAt(text, 13, seps));

  EXPECT_FALSE(SeparatorSet("").Contains(','));
  EXPECT_FALSE(SeparatorSet(std::string("\0,", 2)).Contains(',')) << "a C string ends at NUL";
  EXPECT_FALSE(SeparatorSet(std::string("\xA3\0,", 3), lead).Contains(','))
      << "also where the NUL follows a lead byte";
}
