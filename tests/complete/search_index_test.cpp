// Matching and sorting of the shared search index, against a literal
// reference (an upper-cased copy of every entry per token, then a sort by
// the "C" case-insensitive comparison), on fixed cases and random lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "complete/search_index.h"
#include "complete/suggest_math.h"

using namespace vantrel;

namespace {

// A stand-in for the code page's case mapping: A-Z plus two Latin-1 letters
// (e-acute, o-umlaut), so matching can be told apart from the sort's fold.
std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') c = static_cast<char>(u - 32);
    if (u == 0xE9) c = static_cast<char>(0xC9);
    if (u == 0xF6) c = static_cast<char>(0xD6);
  }
  return out;
}

std::shared_ptr<const SearchIndex> Make(const std::vector<std::string>& entries) {
  SearchIndexBuilder b;
  for (const auto& e : entries) b.Add(e, Fold(e));
  return b.Build();
}

std::vector<std::string> Matches(const SearchIndex& ix, const std::string& token,
                             long long start_after = -1) {
  PrefixMatcher m;
  std::vector<uint32_t> got;
  m.Match(ix, start_after, Fold(token), &got);
  std::vector<std::string> out;
  for (uint32_t i : got) out.emplace_back(ix.entry(i));
  return out;
}

// The literal algorithm: an upper-cased copy per entry, prefix test, sort.
std::vector<uint32_t> Reference(const std::vector<std::string>& entries, const std::string& token,
                                long long start_after) {
  std::string t = Fold(token);
  std::vector<uint32_t> out;
  for (size_t i = static_cast<size_t>(std::max(start_after + 1, 0LL)); i < entries.size(); ++i) {
    if (Fold(entries[i]).compare(0, t.size(), t) == 0 && Fold(entries[i]).size() >= t.size())
      out.push_back(static_cast<uint32_t>(i));
  }
  std::stable_sort(out.begin(), out.end(), [&](uint32_t a, uint32_t b) {
    return CompareNoCaseC(entries[a], entries[b]) < 0;
  });
  return out;
}

}  // namespace

TEST(SearchIndexMatch, PrefixIgnoringCaseSortedWithoutRegardToCase) {
  auto ix = Make({"Bob", "alice", "Alfred", "carol"});
  EXPECT_EQ((std::vector<std::string>{"Alfred", "alice"}), Matches(*ix, "al"));
  EXPECT_EQ((std::vector<std::string>{"Alfred", "alice"}), Matches(*ix, "AL"));
  EXPECT_EQ((std::vector<std::string>{"Bob"}), Matches(*ix, "b"));
  EXPECT_TRUE(Matches(*ix, "x").empty());
  EXPECT_TRUE(Matches(*ix, "alicex").empty()) << "a token longer than the entry cannot match";
  EXPECT_EQ((std::vector<std::string>{"alice"}), Matches(*ix, "alice"));
}

TEST(SearchIndexMatch, SortFoldsOnlyAToZWhileMatchingFoldsTheCodePage) {
  // Matching folds e-acute through the code page's mapping; the sort does
  // not, so the upper-case letter (0xC9) sorts before the lower one (0xE9).
  const std::string lower = "\xE9mile", upper = "\xC9MILE";
  auto ix = Make({lower, upper, "_x", "Zed", "\x80x"});
  EXPECT_EQ((std::vector<std::string>{upper, lower}), Matches(*ix, "\xE9m"));
  EXPECT_EQ((std::vector<std::string>{upper, lower}), Matches(*ix, "\xC9"));
  // "_" (0x5F) sorts before the letters, since they fold to lower case;
  // bytes above 0x7F are unsigned and sort last.
  auto all = Make({"zed", "_x", "Abe", "\x80x", "abc"});
  std::vector<std::string> order;
  for (uint32_t i : all->sorted_order()) order.emplace_back(all->entry(i));
  EXPECT_EQ((std::vector<std::string>{"_x", "abc", "Abe", "zed", "\x80x"}), order);
}

TEST(SearchIndexMatch, DuplicatesAndEqualEntriesAllStay) {
  auto ix = Make({"bob", "BOB", "bob", "Bobby", "b"});
  auto got = Matches(*ix, "b");
  ASSERT_EQ(5u, got.size());
  EXPECT_EQ("b", got[0]);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(0, CompareNoCaseC(got[i], "bob")) << got[i];
  EXPECT_EQ("Bobby", got[4]);
}

TEST(SearchIndexMatch, StartAfterSkipsEarlierEntries) {
  auto ix = Make({"ab1", "ab2", "ab3"});
  EXPECT_EQ((std::vector<std::string>{"ab2", "ab3"}), Matches(*ix, "ab", 0));
  EXPECT_TRUE(Matches(*ix, "ab", 2).empty());
  EXPECT_EQ(3u, Matches(*ix, "ab", -7).size()) << "a start before the list means all of it";
}

TEST(SearchIndexMatch, EmptyIndexAndEmptyEntries) {
  SearchIndexBuilder b;
  auto empty = b.Build();
  EXPECT_EQ(0u, empty->size());
  EXPECT_TRUE(Matches(*empty, "a").empty());
  auto ix = Make({"", "a", ""});
  EXPECT_EQ((std::vector<std::string>{"a"}), Matches(*ix, "a"));
  EXPECT_EQ("", ix->entry(0));
}

TEST(SearchIndexMatch, AgreesWithTheLiteralAlgorithmOnRandomLists) {
  // Short alphabets make long runs (the bitmap path) and short ones (the
  // sorted-ranks path) both common. "Z", "[" and "_" lie between the upper-
  // and the lower-case letters, where leaving a letter unfolded shows.
  std::mt19937 rng(12345);
  const char alphabet[] = "aAbB_.\xE9\xC9zZ[y";
  for (int round = 0; round < 40; ++round) {
    size_t n = 1 + rng() % 3000;
    std::vector<std::string> entries(n);
    for (auto& e : entries) {
      size_t len = rng() % 6;
      for (size_t k = 0; k < len; ++k) e += alphabet[rng() % (sizeof alphabet - 1)];
    }
    auto ix = Make(entries);
    PrefixMatcher m;
    for (int q = 0; q < 30; ++q) {
      std::string token;
      size_t len = 1 + rng() % 3;
      for (size_t k = 0; k < len; ++k) token += alphabet[rng() % (sizeof alphabet - 1)];
      long long start_after = (q % 5 == 0) ? static_cast<long long>(rng() % n) : -1;
      std::vector<uint32_t> got;
      m.Match(*ix, start_after, Fold(token), &got);
      std::vector<uint32_t> want = Reference(entries, token, start_after);
      ASSERT_EQ(want.size(), got.size()) << "n=" << n << " token=" << token;
      for (size_t i = 0; i < want.size(); ++i) {
        // Equal under the comparison: same position in the order is all
        // that is promised.
        ASSERT_EQ(0, CompareNoCaseC(entries[want[i]], entries[got[i]]))
            << "at " << i << ": " << entries[want[i]] << " vs " << entries[got[i]];
      }
      std::vector<uint32_t> a = want, b = got;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      ASSERT_EQ(a, b) << "the same entries must match";
    }
  }
}

// The case-insensitive order is built from the key order by merging its
// runs, or sorted outright when the two orders disagree a lot; either way it
// must be exactly the "C" order with equal entries in the order of adding.
// Long common beginnings reach past the 16 bytes compared as numbers.
TEST(SearchIndexOrder, SortedOrderIsTheCOrderWithTiesInAddingOrder) {
  std::mt19937 rng(777);
  const std::string rare = "_[`\xE9";  // where the two orders disagree
  for (int round = 0; round < 60; ++round) {
    const size_t n = 1 + rng() % 4000;
    const int rare_per_mille = round % 3 == 0 ? 0 : round % 3 == 1 ? 5 : 400;
    const std::string common_start = round % 2 ? "firstname.lastname@" : "";
    std::vector<std::string> entries(n);
    for (auto& e : entries) {
      e = common_start.substr(0, rng() % (common_start.size() + 1));
      const size_t len = rng() % 24;
      for (size_t k = 0; k < len; ++k) {
        if (static_cast<int>(rng() % 1000) < rare_per_mille) {
          e += rare[rng() % rare.size()];
        } else {
          static const char letters[] = "abcyz";  // the alphabet's both ends
          e += static_cast<char>(letters[rng() % 5] - (rng() % 2 ? 0 : 'a' - 'A'));
        }
      }
    }
    auto ix = Make(entries);
    std::vector<uint32_t> want(n);
    for (uint32_t i = 0; i < n; ++i) want[i] = i;
    std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) {
      return CompareNoCaseC(entries[a], entries[b]) < 0;
    });
    ASSERT_EQ(ix->sorted_order(), want) << "round " << round << ", " << n << " entries";
  }
}

TEST(SearchIndexSharing, AppendingToASharedIndexLeavesItAlone) {
  auto shared = Make({"ann", "bob"});
  auto keep = shared;  // a second holder, like another field
  SearchIndexBuilder b(shared);
  b.Add("anna", "ANNA");
  auto grown = b.Build();
  EXPECT_EQ(2u, keep->size());
  EXPECT_EQ(3u, grown->size());
  EXPECT_EQ((std::vector<std::string>{"ann", "anna"}), Matches(*grown, "an"));
  EXPECT_EQ((std::vector<std::string>{"ann"}), Matches(*keep, "an"));
}

TEST(SearchIndexSharing, SoleOwnerAppendsWithoutCopying) {
  auto ix = Make({"ann", "bob"});
  SearchIndexBuilder b(std::move(ix));
  b.Add("cy", "CY");
  auto grown = b.Build();
  ASSERT_EQ(3u, grown->size());
  EXPECT_EQ("ann", grown->entry(0));
  EXPECT_EQ("cy", grown->entry(2));
  EXPECT_EQ((std::vector<std::string>{"ann"}), Matches(*grown, "a"));
  auto again = b.Build();
  EXPECT_EQ(0u, again->size()) << "a builder starts over after Build";
}

TEST(SearchIndexMemory, MatcherScratchStopsGrowingAfterWarmUp) {
  std::vector<std::string> entries;
  for (int i = 0; i < 20000; ++i) entries.push_back(std::string(1, 'a' + i % 26) + std::to_string(i));
  auto ix = Make(entries);
  PrefixMatcher m;
  std::vector<uint32_t> out;
  const char* tokens[] = {"a", "b1", "c12", "a", "zz", "q"};
  for (const char* t : tokens) m.Match(*ix, -1, Fold(t), &out);
  size_t warm = m.MemoryBytes() + out.capacity();
  for (int round = 0; round < 200; ++round)
    for (const char* t : tokens) m.Match(*ix, -1, Fold(t), &out);
  EXPECT_EQ(warm, m.MemoryBytes() + out.capacity());
  EXPECT_LE(out.capacity(), entries.size());
}
