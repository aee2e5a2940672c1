// The order of use applied to a matcher's rows: sends moving addresses up,
// hidden addresses leaving at once, and everything else keeping its order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "complete/recipients.h"
#include "complete/search_index.h"
#include "complete/usage_rank.h"

using namespace vantrel;

namespace {

constexpr int64_t kDay = 24 * 60 * 60;
constexpr int64_t kT0 = 1700000000;

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::shared_ptr<const SearchIndex> Make(const std::vector<std::string>& entries) {
  SearchIndexBuilder b;
  for (const auto& e : entries) b.Add(e, Fold(e));
  return b.Build();
}

// What the plug-in does when a message goes out.
void Send(UsageBook* book, std::string_view recipients, int64_t when) {
  for (std::string_view a : SplitRecipients(recipients)) book->RecordUse(Fold(a), when);
}

class Ranked {
 public:
  explicit Ranked(std::vector<std::string> entries) : index_(Make(entries)) {}

  // The pop-up's rows for a token, as addresses.
  std::vector<std::string> Rows(const UsageBook& book, const std::string& token) {
    std::vector<uint32_t> rows;
    matcher_.Match(*index_, -1, Fold(token), &rows);
    ranker_.Rank(book, index_, *index_, &rows);
    std::vector<std::string> out;
    for (uint32_t r : rows) out.emplace_back(index_->entry(r));
    return out;
  }

 private:
  std::shared_ptr<const SearchIndex> index_;
  PrefixMatcher matcher_;
  UsageRanker ranker_;
};

// Added out of order on purpose: row numbers are not the sorted order.
const std::vector<std::string> kBook = {"ann@x", "bob@x", "al@x", "amy@x", "abe@x", "ada@x",
                                        "zed@x"};

}  // namespace

TEST(UsageRanker, SendsChangeTheOrder) {
  struct Step {
    const char* send;  // recipients of a message sent on `day`
    int64_t day;
    std::vector<std::string> want;  // rows for "a" afterwards
  } steps[] = {
      {"", 0, {"abe@x", "ada@x", "al@x", "amy@x", "ann@x"}},
      {"Amy <AMY@x>", 0, {"amy@x", "abe@x", "ada@x", "al@x", "ann@x"}},
      {"ann@x, bob@x", 1, {"ann@x", "amy@x", "abe@x", "ada@x", "al@x"}},
      {"amy@x", 2, {"amy@x", "ann@x", "abe@x", "ada@x", "al@x"}},
      // One use today outweighs amy's two uses 40 days ago (0.78); equal
      // scores keep the address order.
      {"al@x,ada@x", 42, {"ada@x", "al@x", "amy@x", "ann@x", "abe@x"}},
      {"al@x", 42, {"al@x", "ada@x", "amy@x", "ann@x", "abe@x"}},
      // Unknown addresses count but show nowhere.
      {"nobody@x, \"Doe, Ann\" <someone@x>", 43, {"al@x", "ada@x", "amy@x", "ann@x", "abe@x"}},
  };
  UsageBook book;
  Ranked r(kBook);
  for (const Step& s : steps) {
    Send(&book, s.send, kT0 + s.day * kDay);
    EXPECT_EQ(s.want, r.Rows(book, "a")) << "after sending to " << s.send;
  }
  EXPECT_EQ((std::vector<std::string>{"bob@x"}), r.Rows(book, "b"));
  EXPECT_EQ((std::vector<std::string>{"amy@x"}), r.Rows(book, "am"));
}

TEST(UsageRanker, EqualScoresKeepTheMatchersOrder) {
  UsageBook book;
  Send(&book, "zed@x, amy@x, ada@x", kT0);
  Ranked r(kBook);
  EXPECT_EQ((std::vector<std::string>{"ada@x", "amy@x", "abe@x", "al@x", "ann@x"}), r.Rows(book, "a"));
}

TEST(UsageRanker, HiddenAddressesLeaveAtOnceAndComeBackWhenSentTo) {
  UsageBook book;
  Ranked r(kBook);
  Send(&book, "amy@x", kT0);
  EXPECT_EQ((std::vector<std::string>{"amy@x", "abe@x", "ada@x", "al@x", "ann@x"}), r.Rows(book, "a"));
  book.Hide(Fold("amy@x"));
  book.Hide(Fold("al@x"));
  EXPECT_EQ((std::vector<std::string>{"abe@x", "ada@x", "ann@x"}), r.Rows(book, "a"));
  EXPECT_EQ((std::vector<std::string>{}), r.Rows(book, "am"));
  Send(&book, "AMY@X", kT0 + kDay);
  EXPECT_EQ((std::vector<std::string>{"amy@x", "abe@x", "ada@x", "ann@x"}), r.Rows(book, "a"));
}

TEST(UsageRanker, ANewIndexGetsATableOfItsOwn) {
  UsageBook book;
  Send(&book, "ann@x", kT0);
  UsageRanker ranker;
  PrefixMatcher m;
  std::vector<std::string> got;
  // Two indices one after the other through the same ranker: the second has
  // ann@x in another row, and the places must follow it.
  for (const auto& entries : {kBook, std::vector<std::string>{"zz@x", "ann@x", "abe@x"}}) {
    auto index = Make(entries);
    std::vector<uint32_t> rows;
    m.Match(*index, -1, "A", &rows);
    ranker.Rank(book, index, *index, &rows);
    got.clear();
    for (uint32_t row : rows) got.emplace_back(index->entry(row));
    EXPECT_EQ("ann@x", got.front());
  }
  EXPECT_EQ((std::vector<std::string>{"ann@x", "abe@x"}), got);
}

TEST(UsageRanker, AnEmptyBookChangesNothing) {
  UsageBook book;
  Ranked r(kBook);
  EXPECT_EQ((std::vector<std::string>{"abe@x", "ada@x", "al@x", "amy@x", "ann@x"}), r.Rows(book, "a"));
}
