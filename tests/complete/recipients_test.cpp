// The addresses taken from a recipient field's text when a message goes out,
// and how they are counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "complete/recipients.h"

using namespace vantrel;

TEST(SplitRecipients, Table) {
  struct Case {
    std::string text;
    std::vector<std::string> want;
  } cases[] = {
      {"", {}},
      {"a@x", {"a@x"}},
      {" a@x , b@y ", {"a@x", "b@y"}},
      {"\ta@x,\tb@y\t", {"a@x", "b@y"}},
      {"Ann <a@x>, b@y", {"a@x", "b@y"}},
      {"Ann Lee < a@x >", {"a@x"}},
      {"\"Doe, Ann\" <a@x>,b@y", {"a@x", "b@y"}},
      {"\"A <b>\" <a@x>", {"a@x"}},
      {",, ,\t,", {}},
      {"Ann <a@x", {"a@x"}},
      {"<>, <b@y>", {"b@y"}},
      // A quote left open: every comma splits.
      {"\"open, a@x, b@y", {"\"open", "a@x", "b@y"}},
      // Double-byte names (Shift-JIS, GBK) whose second bytes are letters or
      // backslashes stay whole.
      {"\x8e\x52\x93\x63 <a@x>,\x95\x5c<b@y>", {"a@x", "b@y"}},
      {"\xd5\xc5\xc8\xfd <zs@x>", {"zs@x"}},
      {"a@x,a@x", {"a@x", "a@x"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (std::string_view v : SplitRecipients(c.text)) got.emplace_back(v);
    EXPECT_EQ(c.want, got) << "text: " << c.text;
  }
}

namespace {
void Upper(std::string_view s, std::string* out) {
  out->assign(s);
  for (char& c : *out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
}
}  // namespace

TEST(CountRecipients, EachAddressOncePerMessage) {
  struct Case {
    std::string text;
    size_t counted;
    std::vector<std::string> keys;  // the book's keys afterwards, sorted
  } cases[] = {
      {"", 0, {}},
      {"a@x", 1, {"A@X"}},
      {"a@x, A@X, Ann <a@X>", 1, {"A@X"}},
      {"b@y, a@x, b@y", 2, {"A@X", "B@Y"}},
  };
  for (const Case& c : cases) {
    UsageBook book;
    EXPECT_EQ(c.counted, CountRecipients(c.text, Upper, 1700000000, &book)) << c.text;
    std::vector<std::string> keys;
    for (const auto& [key, e] : book.entries()) {
      keys.push_back(key);
      EXPECT_DOUBLE_EQ(1.0, e.score) << c.text << ": one use, however often named";
    }
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(c.keys, keys) << c.text;
  }
}

TEST(CountRecipients, AHugeListCountsTheFirstFiveThousand) {
  // 20,000 addresses, each named twice: counting stays n log n, and the
  // book its size.
  std::string text;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 20000; ++i) text += "a" + std::to_string(i) + "@x, ";
  }
  UsageBook book;
  EXPECT_EQ(UsageBook::kMaxAddresses, CountRecipients(text, Upper, 1700000000, &book));
  EXPECT_EQ(UsageBook::kMaxAddresses, book.size());
  EXPECT_NE(nullptr, book.Find("A0@X"));
  EXPECT_NE(nullptr, book.Find("A4999@X"));
  EXPECT_EQ(nullptr, book.Find("A5000@X"));
}
