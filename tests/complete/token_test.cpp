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

TEST(Token, SeparatorSetsReadTheirOwnDoubleByteCharacters) {
  // GBK: 0x81-0xFE lead bytes. The separator string holds one full-width
  // comma (A3 AC) and ";": the trail byte 0xAC is a separator as the
  // code page's byte search finds it only as a lead; here it is a trail.
  std::array<bool, 256> lead{};
  for (int b = 0x81; b <= 0xFE; ++b) lead[b] = true;
  SeparatorSet seps("\xA3\xAC;", lead);
  EXPECT_TRUE(seps.Contains(0xA3));
  EXPECT_FALSE(seps.Contains(0xAC)) << "a trail byte of the separator string";
  EXPECT_TRUE(seps.Contains(';'));
  // "A\x41" style: a trail byte that equals an ASCII letter is not a separator.
  SeparatorSet odd("\x81" "A", lead);
  EXPECT_FALSE(seps.Contains('A'));
  EXPECT_FALSE(odd.Contains('A'));
  EXPECT_TRUE(odd.Contains(0x81));
  EXPECT_FALSE(SeparatorSet("").Contains(','));
  EXPECT_FALSE(SeparatorSet(std::string("\0,", 2)).Contains(',')) << "a C string ends at NUL";
}
