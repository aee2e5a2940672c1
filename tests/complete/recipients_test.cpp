// The addresses taken from a recipient field's text when a message goes out.
#include <gtest/gtest.h>

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
