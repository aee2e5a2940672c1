// The address-book byte rules: which lines carry an address, what the
// address is, and the text-mode line reading, whatever the chunking.
#include "addrbook/address_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace vantrel;
using Addresses = std::vector<std::string>;

namespace {

// Feeds `input` in chunks of the given sizes (the last size repeats).
Addresses ParseChunks(const std::string& input, const std::vector<size_t>& sizes) {
  Addresses out;
  CAddressParser parser(out);
  size_t pos = 0;
  size_t i = 0;
  while (pos < input.size()) {
    const size_t n = std::min(sizes[std::min(i, sizes.size() - 1)], input.size() - pos);
    ++i;
    if (!parser.Feed(input.data() + pos, n)) break;
    pos += n;
  }
  parser.Finish();
  return out;
}

Addresses Parse(const std::string& input) { return ParseChunks(input, {input.size() + 1}); }

// The rules written out the plain way, byte by byte, over the whole file:
// text mode first, then lines, then the address of each line.
Addresses Reference(const std::string& file) {
  std::string text;
  for (size_t i = 0; i < file.size(); ++i) {
    const char c = file[i];
    if (c == '\x1a') break;
    if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
    text += c;
  }
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);

  const std::string marker = "EMAIL;PREF";
  Addresses out;
  for (const std::string& l : lines) {
    bool has = false;
    for (size_t i = 0; i + marker.size() <= l.size() && !has; ++i)
      has = l.compare(i, marker.size(), marker) == 0;
    if (!has) continue;
    size_t start = 0;
    for (size_t i = 0; i < l.size(); ++i) {
      if (l[i] == ':') {
        start = i + 1;
        break;
      }
    }
    std::string address;
    for (size_t i = start; i < l.size() && l[i] != '\0'; ++i) address += l[i];
    out.push_back(address);
  }
  return out;
}

std::string Show(const Addresses& a) {
  std::string s = "{";
  for (const auto& x : a) {
    s += " \"";
    for (unsigned char c : x) {
      if (c >= 0x20 && c < 0x7f) {
        s += static_cast<char>(c);
      } else {
        char buf[8];
        snprintf(buf, sizeof buf, "\\x%02x", c);
        s += buf;
      }
    }
    s += "\"";
  }
  return s + " }";
}

#define EXPECT_ADDRESSES(input, ...)                                          \
  do {                                                                        \
    const Addresses want_ = __VA_ARGS__;                                      \
    const Addresses got_ = Parse(input);                                      \
    EXPECT_EQ(got_, want_) << "input " << Show({input}) << "\n got  " << Show(got_) \
                           << "\n want " << Show(want_);                      \
  } while (0)

}  // namespace

TEST(AddressLine, WhichLinesCarryAnAddress) {
  // Parameters after the marker, before the colon.
  EXPECT_ADDRESSES("EMAIL;PREF;INTERNET:anna@example.com\n", {"anna@example.com"});
  EXPECT_ADDRESSES("EMAIL;PREF:bob@example.com\n", {"bob@example.com"});
  // The marker anywhere in the line.
  EXPECT_ADDRESSES("item1.EMAIL;PREF;INTERNET:c@x.org\n", {"c@x.org"});
  // Case-sensitive and exact.
  EXPECT_ADDRESSES("email;pref:a@x\nEmail;Pref:b@x\nEMAIL;INTERNET:c@x\nEMAIL; PREF:d@x\n", {});
  EXPECT_ADDRESSES("EMAIL;PRE\nF:x\nEMAIL\n;PREF:y\n", {});
  // Other vCard lines are ignored.
  EXPECT_ADDRESSES("BEGIN:VCARD\nFN:Anna\nN:Lee;Anna;;;\nEND:VCARD\n", {});
}

TEST(AddressLine, TheFirstColonOfTheLineCounts) {
  // A colon before the marker: the marker is part of the address.
  EXPECT_ADDRESSES("X-NOTE:EMAIL;PREF bob\n", {"EMAIL;PREF bob"});
  EXPECT_ADDRESSES("a:b EMAIL;PREF:c\n", {"b EMAIL;PREF:c"});
  // Only the first colon splits.
  EXPECT_ADDRESSES("EMAIL;PREF:mailto:x@y\n", {"mailto:x@y"});
  // No colon: the whole line.
  EXPECT_ADDRESSES("EMAIL;PREF carol@x.org\n", {"EMAIL;PREF carol@x.org"});
  // Colon at the end: an empty address, kept.
  EXPECT_ADDRESSES("EMAIL;PREF;INTERNET:\n", {""});
}

TEST(AddressLine, NothingIsTrimmedOrDropped) {
  EXPECT_ADDRESSES("EMAIL;PREF:  dave@x.org \t \n", {"  dave@x.org \t "});
  EXPECT_ADDRESSES("\tEMAIL;PREF: e@x\n", {" e@x"});
  // Duplicates stay, in order.
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\nEMAIL;PREF:b@x\nEMAIL;PREF:a@x\n", {"a@x", "b@x", "a@x"});
  // Bytes above 0x7F (code page 936 text) pass unchanged.
  EXPECT_ADDRESSES("EMAIL;PREF:\xd5\xc5\xc8\xfd <z@x.cn>\n", {"\xd5\xc5\xc8\xfd <z@x.cn>"});
}

TEST(AddressLine, TheAddressEndsAtTheFirstNul) {
  EXPECT_ADDRESSES(std::string("EMAIL;PREF:a@x\0tail\n", 20), {"a@x"});
  EXPECT_ADDRESSES(std::string("EMAIL;PREF:\0a@x\n", 16), {""});
  // A NUL ends only the address, not the line or the file: the marker and
  // the colon are looked for in the whole line, and reading goes on.
  EXPECT_ADDRESSES(std::string("\0EMAIL;PREF:b@x\n", 16), {"b@x"});
  EXPECT_ADDRESSES(std::string("EMAIL;PREF\0:c@x\nEMAIL;PREF:d@x\n", 31), {"c@x", "d@x"});
}

TEST(TextMode, LineEnds) {
  // CR LF reads as LF.
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\r\nEMAIL;PREF:b@x\r\n", {"a@x", "b@x"});
  // A bare CR stays in the line, so CR-only files are one line.
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\rEMAIL;PREF:b@x\r", {"a@x\rEMAIL;PREF:b@x\r"});
  // Only the CR right before the LF goes.
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\r\r\n", {"a@x\r"});
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\n\rEMAIL;PREF:b@x\n", {"a@x", "b@x"});
  // A last line without LF is read; an empty tail is no line.
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\nEMAIL;PREF:last", {"a@x", "last"});
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\n\n\n", {"a@x"});
  EXPECT_ADDRESSES("EMAIL;PREF:\r", {"\r"});
}

TEST(TextMode, EmptyInput) {
  EXPECT_ADDRESSES("", {});
  EXPECT_ADDRESSES("\n", {});
  EXPECT_ADDRESSES("\r\n\r\n", {});
  Addresses out;
  CAddressParser parser(out);
  parser.Finish();
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(parser.ended());
}

TEST(TextMode, ByteOneAEndsTheData) {
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\nEMAIL;PREF:b@x\x1a more\nEMAIL;PREF:c@x\n", {"a@x", "b@x"});
  EXPECT_ADDRESSES("\x1a" "EMAIL;PREF:a@x\n", {});
  // The CR before 0x1A is not followed by LF, so it stays.
  EXPECT_ADDRESSES("EMAIL;PREF:a@x\r\x1a\n", {"a@x\r"});

  // The caller learns that it can stop reading; later input is ignored.
  Addresses out;
  CAddressParser parser(out);
  EXPECT_TRUE(parser.Feed("EMAIL;PREF:a", 12));
  EXPECT_FALSE(parser.Feed("@x\x1a", 3));
  EXPECT_FALSE(parser.Feed("EMAIL;PREF:b\n", 13));
  parser.Finish();
  EXPECT_EQ(out, Addresses({"a@x"})) << Show(out);
}

TEST(Chunks, LinesAndLineEndsAcrossChunkBorders) {
  // CR at the end of one chunk, LF at the start of the next.
  EXPECT_EQ(ParseChunks("EMAIL;PREF:a@x\r\nEMAIL;PREF:b@x\r\n", {15, 1, 15}),
            Addresses({"a@x", "b@x"}));
  // CR at the end of a chunk followed by something else: kept.
  EXPECT_EQ(ParseChunks("EMAIL;PREF:a@x\rz\n", {15}), Addresses({"a@x\rz"}));
  // The marker split between chunks.
  for (size_t cut = 1; cut < 12; ++cut) {
    const Addresses got = ParseChunks("x\nEMAIL;PREF:a@x\ny\n", {cut + 2, 100});
    EXPECT_EQ(got, Addresses({"a@x"})) << "cut " << cut << " got " << Show(got);
  }
  // One byte at a time.
  const std::string file = "BEGIN:VCARD\r\nEMAIL;PREF;INTERNET:a@x\r\nEMAIL;INTERNET:b@x\r\n"
                           "EMAIL;PREF:\r\nEND:VCARD\r\n";
  EXPECT_EQ(ParseChunks(file, {1}), Addresses({"a@x", ""}));
}

TEST(Chunks, TenMegabyteLines) {
  const std::string big(10 * 1024 * 1024, 'q');
  // An address of 10 MB, read through 64 KB chunks.
  Addresses got = ParseChunks("EMAIL;PREF:" + big + "\r\nEMAIL;PREF:next\n", {65536});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].size(), big.size());
  EXPECT_EQ(got[0], big);
  EXPECT_EQ(got[1], "next");
  // The marker at the far end of a long line, and a long line without it.
  got = ParseChunks(big + "EMAIL;PREF\n" + big + "\nEMAIL;PREF:z\n", {1 << 20});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].size(), big.size() + 10);
  EXPECT_EQ(got[1], "z");
}

// A line longer than the limit costs no more memory than the limit: it
// yields nothing and reading goes on after its LF; a line of the limit's
// length is read whole. The same in one chunk and in small ones.
TEST(Chunks, LinesLongerThanTheLimitAreSkipped) {
  const std::string longest = "EMAIL;PREF:" + std::string(kMaxLineBytes - 11, 'w');
  const std::string too_long = longest + "w";
  for (size_t chunk : {size_t(65536), too_long.size() + 100}) {
    SCOPED_TRACE(chunk);
    Addresses got = ParseChunks("EMAIL;PREF:a@x\n" + too_long + "\r\nEMAIL;PREF:b@x\n" + too_long,
                                {chunk});
    EXPECT_EQ(got, Addresses({"a@x", "b@x"})) << got.size() << " addresses";
    got = ParseChunks(longest + "\nEMAIL;PREF:c@x", {chunk});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size(), longest.size() - 11);
    EXPECT_EQ(got[1], "c@x");
  }
}

// Random files made of the pieces that matter, compared with the plain
// reading for every chunking.
TEST(Chunks, SameResultForEveryChunkingAsThePlainReading) {
  static const char* const kPieces[] = {"EMAIL;PREF", "EMAIL;PREF;INTERNET:", ":", "\r", "\n",
                                        "\r\n", "a@x", " ", ";", "EMAIL", "PREF", "E",
                                        "FN:Name", "\xb1\x5c", "\t"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; ++round) {
    std::string file;
    const int pieces = static_cast<int>(rng() % 40);
    for (int i = 0; i < pieces; ++i) {
      const unsigned r = rng() % 100;
      if (r == 0)
        file += '\x1a';
      else if (r == 1)
        file += '\0';
      else
        file += kPieces[rng() % (sizeof kPieces / sizeof *kPieces)];
    }
    const Addresses want = Reference(file);
    for (size_t size = 1; size <= file.size() + 1; ++size) {
      const Addresses got = ParseChunks(file, {size});
      ASSERT_EQ(got, want) << "chunk size " << size << " input " << Show({file}) << "\n got  "
                           << Show(got) << "\n want " << Show(want);
    }
    std::vector<size_t> random_sizes;
    for (int i = 0; i < 20; ++i) random_sizes.push_back(1 + rng() % 8);
    const Addresses got = ParseChunks(file, random_sizes);
    ASSERT_EQ(got, want) << "random chunks, input " << Show({file});
  }
}

TEST(AddressBookPath, SubstringOfTheLoweredPath) {
  EXPECT_TRUE(IsAddressBookPath("c:\\data\\addrbook\\a.bab"));
  EXPECT_TRUE(IsAddressBookPath("c:\\data\\addrbook\\c.babx"));
  EXPECT_TRUE(IsAddressBookPath("c:\\data\\addrbook\\old.bab\\readme.txt"));
  EXPECT_TRUE(IsAddressBookPath(".bab"));
  EXPECT_FALSE(IsAddressBookPath("c:\\data\\addrbook\\notes.txt"));
  EXPECT_FALSE(IsAddressBookPath("c:\\data\\addrbook\\a.ba"));
  EXPECT_FALSE(IsAddressBookPath("c:\\data\\addrbook\\ab.b"));
  // The caller lower-cases first; the test itself is exact.
  EXPECT_FALSE(IsAddressBookPath("c:\\data\\addrbook\\A.BAB"));
}
