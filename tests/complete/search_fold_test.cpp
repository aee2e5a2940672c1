// The search folding, with a stand-in case mapping: entries and tokens meet
// only through their folded keys.
#include "complete/search_fold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantrel;

namespace {

// A to Z only, and 'e' with an acute accent (code page 1252: 0xE9) to 0xC9,
// as a code page's own mapping would.
void ToyUpper(std::string_view s, std::string* out) {
  out->assign(s);
  for (char& c : *out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '\xE9') c = '\xC9';
  }
}

std::vector<std::string> Matches(const SearchIndex& index, const std::string& token,
                                 int start_after = -1) {
  PrefixMatcher matcher;
  std::vector<uint32_t> rows;
  MatchFolded(&matcher, index, start_after, token, &ToyUpper, &rows);
  std::vector<std::string> out;
  for (uint32_t r : rows) out.emplace_back(index.entry(r));
  return out;
}

}  // namespace

TEST(SearchFold, EntriesAndTokensMeetThroughTheirFoldedKeys) {
  const auto index = BuildFoldedIndex(
      std::vector<std::string>{"bob@x.org", "Ann@x.org", "\xE9mile@x.org", "ann.b@y.org",
                               "\xC9MILE@z.org", "carl@x.org"},
      &ToyUpper);
  const struct {
    const char* token;
    std::vector<std::string> want;
  } cases[] = {
      {"ann", {"ann.b@y.org", "Ann@x.org"}},  // '.' sorts before '@'
      {"ANN@", {"Ann@x.org"}},
      // Sorted with A to Z folded alone, so 0xC9 before 0xE9.
      {"\xE9mi", {"\xC9MILE@z.org", "\xE9mile@x.org"}},
      {"\xC9", {"\xC9MILE@z.org", "\xE9mile@x.org"}},
      {"b", {"bob@x.org"}},
      {"d", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, Matches(*index, c.token)) << c.token;
}

TEST(SearchFold, EntriesKeepTheirOwnBytes) {
  const auto index = BuildFoldedIndex(std::vector<std::string>{"Mixed@Case.org"}, &ToyUpper);
  ASSERT_EQ(1u, index->size());
  EXPECT_EQ("Mixed@Case.org", std::string(index->entry(0)));
  EXPECT_EQ(std::vector<std::string>{"Mixed@Case.org"}, Matches(*index, "mixed@case"));
}
