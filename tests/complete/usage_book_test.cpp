// Use scores with decay (a use counts half after 30 days), hiding, and the
// limit on the number of addresses, driven by a clock the test sets.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "complete/usage_book.h"

using namespace vantrel;

namespace {
constexpr int64_t kDay = 24 * 60 * 60;
constexpr int64_t kT0 = 1700000000;  // November 2023
}  // namespace

TEST(UsageBook, ScoresDecayByHalfEveryThirtyDays) {
  struct Case {
    std::vector<int64_t> uses;  // days after kT0
    int64_t at;                 // days after kT0
    double want;
  } cases[] = {
      {{0}, 0, 1.0},
      {{0}, 30, 0.5},
      {{0}, 60, 0.25},
      {{0}, 15, 0.7071067811865476},
      {{0, 0}, 0, 2.0},
      {{0, 30}, 30, 1.5},
      {{0, 30}, 60, 0.75},
      {{0, 30, 60, 90}, 90, 1.875},
      // The clock set back: a use never counts more than once.
      {{10, 0}, 10, 2.0},
      {{10}, 0, 1.0},
  };
  for (const Case& c : cases) {
    UsageBook book;
    for (int64_t d : c.uses) book.RecordUse("A@X", kT0 + d * kDay);
    ASSERT_NE(nullptr, book.Find("A@X"));
    EXPECT_NEAR(c.want, UsageBook::ScoreAt(*book.Find("A@X"), kT0 + c.at * kDay), 1e-12)
        << "uses " << c.uses.size() << " at day " << c.at;
  }
}

TEST(UsageBook, RankKeysOrderAsTheScoresDoAtAnyMoment) {
  // (key, days of its uses); compared at several later moments.
  struct Use {
    const char* key;
    std::vector<int64_t> days;
  } uses[] = {{"ONCE-TODAY@X", {100}},
              {"TWICE-40-DAYS-AGO@X", {60, 60}},
              {"THRICE-LONG-AGO@X", {0, 1, 2}},
              {"DAILY@X", {95, 96, 97, 98, 99}}};
  UsageBook book;
  for (const Use& u : uses) {
    for (int64_t d : u.days) book.RecordUse(u.key, kT0 + d * kDay);
  }
  for (int64_t at : {100, 130, 400}) {
    for (const Use& a : uses) {
      for (const Use& b : uses) {
        const auto& ea = *book.Find(a.key);
        const auto& eb = *book.Find(b.key);
        const double sa = UsageBook::ScoreAt(ea, kT0 + at * kDay);
        const double sb = UsageBook::ScoreAt(eb, kT0 + at * kDay);
        EXPECT_EQ(sa < sb, ea.rank < eb.rank) << a.key << " vs " << b.key << " at day " << at;
      }
    }
  }
  // Today: daily > once today (1) > twice 40 days ago (0.79) > thrice 100
  // days ago (0.29).
  EXPECT_GT(book.Find("DAILY@X")->rank, book.Find("ONCE-TODAY@X")->rank);
  EXPECT_GT(book.Find("ONCE-TODAY@X")->rank, book.Find("TWICE-40-DAYS-AGO@X")->rank);
  EXPECT_GT(book.Find("TWICE-40-DAYS-AGO@X")->rank, book.Find("THRICE-LONG-AGO@X")->rank);
}

TEST(UsageBook, HidingLastsUntilTheAddressIsUsedAgain) {
  UsageBook book;
  book.RecordUse("A@X", kT0);
  book.Hide("A@X");
  book.Hide("NEVER-USED@X");
  EXPECT_TRUE(book.IsHidden("A@X"));
  EXPECT_TRUE(book.IsHidden("NEVER-USED@X"));
  EXPECT_FALSE(book.IsHidden("OTHER@X"));
  EXPECT_DOUBLE_EQ(1.0, book.Find("A@X")->score) << "hiding keeps the score";
  book.RecordUse("A@X", kT0 + 30 * kDay);
  EXPECT_FALSE(book.IsHidden("A@X"));
  EXPECT_DOUBLE_EQ(1.5, book.Find("A@X")->score);
  EXPECT_TRUE(book.IsHidden("NEVER-USED@X"));
}

TEST(UsageBook, EveryChangeGivesANewGeneration) {
  UsageBook a;
  UsageBook b;
  EXPECT_NE(a.generation(), b.generation());
  uint64_t g = a.generation();
  a.RecordUse("A@X", kT0);
  EXPECT_NE(g, a.generation());
  g = a.generation();
  a.Hide("A@X");
  EXPECT_NE(g, a.generation());
  g = a.generation();
  a = UsageBook();
  EXPECT_NE(g, a.generation()) << "an emptied book must not look unchanged to a cache";
}

TEST(UsageBook, KeepsTheMostUsedAndEveryHiddenAddressAtTheLimit) {
  UsageBook book;
  book.Hide("HIDDEN-BUT-NEVER-USED@X");
  book.RecordUse("HIDDEN-AND-USED@X", kT0);
  book.Hide("HIDDEN-AND-USED@X");
  book.RecordUse("OFTEN@X", kT0);
  book.RecordUse("OFTEN@X", kT0);
  book.RecordUse("OFTEN@X", kT0);
  // One use each, a second apart: the earliest are the least used.
  for (size_t i = 0; i < UsageBook::kMaxAddresses; ++i) {
    book.RecordUse("A" + std::to_string(i) + "@X", kT0 + 1 + static_cast<int64_t>(i));
  }
  EXPECT_EQ(UsageBook::kMaxAddresses, book.size());
  EXPECT_NE(nullptr, book.Find("HIDDEN-BUT-NEVER-USED@X"));
  EXPECT_NE(nullptr, book.Find("HIDDEN-AND-USED@X"));
  EXPECT_NE(nullptr, book.Find("OFTEN@X"));
  // 5,000 + 3 addresses for 5,000 places: the three earliest single uses go.
  for (int i : {0, 1, 2}) EXPECT_EQ(nullptr, book.Find("A" + std::to_string(i) + "@X")) << i;
  for (int i : {3, 4, 4999}) EXPECT_NE(nullptr, book.Find("A" + std::to_string(i) + "@X")) << i;
}

TEST(UsageBook, IgnoresEmptyAndOverlongKeys) {
  UsageBook book;
  book.RecordUse("", kT0);
  book.Hide("");
  book.RecordUse(std::string(UsageBook::kMaxKeyBytes + 1, 'A'), kT0);
  EXPECT_EQ(0u, book.size());
  book.RecordUse(std::string(UsageBook::kMaxKeyBytes, 'A'), kT0);
  EXPECT_EQ(1u, book.size());
}

TEST(UsageBook, RestoreTakesOnlySoundEntries) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string key;
    double score;
    int64_t time;
    bool want;
  } cases[] = {
      {"A@X", 1.5, kT0, true},
      {"B@X", 0.0, kT0, true},
      {"C@X", UsageBook::kMaxScore, 0, true},
      {"", 1, kT0, false},
      {std::string(UsageBook::kMaxKeyBytes + 1, 'K'), 1, kT0, false},
      {std::string("N\0L", 3), 1, kT0, false},
      {"D@X", nan, kT0, false},
      {"D@X", inf, kT0, false},
      {"D@X", -1, kT0, false},
      {"D@X", UsageBook::kMaxScore * 2, kT0, false},
      {"D@X", 1, -1, false},
      {"A@X", 1, kT0, false},  // already there
  };
  UsageBook book;
  for (const Case& c : cases) {
    UsageBook::Entry e;
    e.score = c.score;
    e.time = c.time;
    EXPECT_EQ(c.want, book.Restore(c.key, e)) << c.key.substr(0, 20) << " " << c.score;
  }
  EXPECT_EQ(3u, book.size());
}
