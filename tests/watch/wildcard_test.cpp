// MatchWildcard against a brute-force reference and the cases the plug-in's
// "*.bab" filter depends on.
#include "watch/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using vantrel::MatchWildcard;

namespace {
// Plain recursive definition of the same language, for comparison only.
bool Reference(const char* t, const char* p) {
  if (!*p) return !*t;
  if (*p == '*') return Reference(t, p + 1) || (*t && Reference(t + 1, p));
  if (!*t) return false;
  return (*p == '?' || *p == *t) && Reference(t + 1, p + 1);
}
}  // namespace

TEST(MatchWildcard, StarAndQuestionMark) {
  EXPECT_TRUE(MatchWildcard("", "*"));
  EXPECT_TRUE(MatchWildcard("anything at all", "*"));
  EXPECT_TRUE(MatchWildcard("a", "?"));
  EXPECT_FALSE(MatchWildcard("", "?"));
  EXPECT_FALSE(MatchWildcard("ab", "?"));
  EXPECT_TRUE(MatchWildcard("", "***"));
  EXPECT_TRUE(MatchWildcard("abc", "a*c"));
  EXPECT_TRUE(MatchWildcard("ac", "a*c"));
  EXPECT_FALSE(MatchWildcard("ab", "a*c"));
}

TEST(MatchWildcard, LiteralPatternMatchesOnlyTheIdenticalText) {
  EXPECT_TRUE(MatchWildcard("book.bab", "book.bab"));
  EXPECT_FALSE(MatchWildcard("book.bab2", "book.bab"));
  EXPECT_FALSE(MatchWildcard("book.ba", "book.bab"));
  EXPECT_FALSE(MatchWildcard("", "x"));
}

TEST(MatchWildcard, BabFilterIsCaseSensitiveAndCrossesBackslashes) {
  EXPECT_TRUE(MatchWildcard("x.bab", "*.bab"));
  EXPECT_TRUE(MatchWildcard(".bab", "*.bab"));
  EXPECT_FALSE(MatchWildcard("BOOK.BAB", "*.bab"));
  EXPECT_FALSE(MatchWildcard("x.Bab", "*.bab"));
  EXPECT_FALSE(MatchWildcard("x.bab.tmp", "*.bab"));
  EXPECT_TRUE(MatchWildcard("Sub\\x.bab", "*.bab"));
  EXPECT_TRUE(MatchWildcard("a.bab.bab", "*.bab")) << "needs backtracking over the first .bab";
  EXPECT_TRUE(MatchWildcard("a\\b", "a?b")) << "? matches the backslash too";
}

TEST(MatchWildcard, DoubleByteCharactersCountAsTwoBytes) {
  const char gbk[] = "\xB5\xD8.bab";  // one GBK character then .bab
  EXPECT_TRUE(MatchWildcard(gbk, "??.bab"));
  EXPECT_FALSE(MatchWildcard(gbk, "?.bab"));
}

TEST(MatchWildcard, AgreesWithReferenceOnRandomStrings) {
  std::mt19937 rng(12345);
  const char alphabet[] = "ab*?";
  int mismatches = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text, pattern;
    const int tl = rng() % 8, pl = rng() % 7;
    for (int j = 0; j < tl; ++j) text += "ab"[rng() % 2];
    for (int j = 0; j < pl; ++j) pattern += alphabet[rng() % 4];
    const bool got = MatchWildcard(text.c_str(), pattern.c_str());
    const bool want = Reference(text.c_str(), pattern.c_str());
    if (got != want && ++mismatches < 10)
      ADD_FAILURE() << "text '" << text << "' pattern '" << pattern << "' got " << got;
  }
  EXPECT_EQ(0, mismatches);
}
