// The name mode's card reading: names, readings and addresses of each card,
// in the code pages 1252, 936 and 932 (through iconv), whatever the chunking.
#include "addrbook/card_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addrbook/address_parser.h"
#include "platform/iconv_text_codec.h"

using namespace vantrel;
using namespace std::string_literals;

namespace {

using Names = std::vector<std::u16string>;

struct Row {
  std::string address;
  std::string display;  // UTF-8 here, compared in the code page's bytes
  Names names;
  Names readings;
};

struct Case {
  const char* title;
  unsigned code_page;
  std::string book;
  std::vector<Row> rows;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.title; }

std::string Utf8(const std::u16string& s) {
  std::string out;
  IconvTextCodec utf8(65001);
  // UTF-8 is the code page here: every character has a form.
  utf8.WideToAnsi(s, &out);
  return out;
}

std::u16string Wide(const std::string& utf8) {
  std::u16string out;
  IconvTextCodec(65001).AnsiToWide(utf8, &out);
  return out;
}

std::string Describe(const std::vector<NamedAddress>& rows, unsigned code_page) {
  IconvTextCodec codec(code_page);
  std::string s;
  for (const NamedAddress& r : rows) {
    std::u16string display;
    codec.AnsiToWide(r.display_name, &display);
    s += "\n  [" + r.address + "] \"" + Utf8(display) + "\" names:";
    for (const auto& n : r.names) s += " {" + Utf8(n) + "}";
    s += " readings:";
    for (const auto& n : r.readings) s += " {" + Utf8(n) + "}";
  }
  return s;
}

std::vector<NamedAddress> Expected(const Case& c) {
  IconvTextCodec codec(c.code_page);
  std::vector<NamedAddress> out;
  for (const Row& r : c.rows) {
    NamedAddress n;
    n.address = r.address;
    EXPECT_TRUE(codec.WideToAnsi(Wide(r.display), &n.display_name)) << r.display;
    n.names = r.names;
    n.readings = r.readings;
    out.push_back(n);
  }
  return out;
}

bool Same(const std::vector<NamedAddress>& x, const std::vector<NamedAddress>& y) {
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    const NamedAddress& a = x[i];
    const NamedAddress& b = y[i];
    if (a.address != b.address || a.display_name != b.display_name || a.names != b.names ||
        a.readings != b.readings) {
      return false;
    }
  }
  return true;
}

// Feeds `book` cut at the given offsets.
std::vector<NamedAddress> ReadCut(const std::string& book, const std::vector<size_t>& cuts,
                                  const TextCodec& codec) {
  std::vector<NamedAddress> rows;
  CCardParser parser(rows, codec);
  size_t pos = 0;
  for (size_t cut : cuts) {
    if (cut < pos || cut > book.size()) continue;
    if (!parser.Feed(book.data() + pos, cut - pos)) break;
    pos = cut;
  }
  if (!parser.ended()) parser.Feed(book.data() + pos, book.size() - pos);
  parser.Finish();
  return rows;
}

std::string CrLf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const Case kCases[] = {
    {"a card: FN, N's parts, one address", 1252,
     "BEGIN:VCARD\nVERSION:3.0\nFN:John Smith\nN:Smith;John;;;\n"
     "EMAIL;PREF;INTERNET:john@example.com\nTEL:+1 555\nEND:VCARD\n",
     {{"john@example.com", "John Smith", {u"John Smith", u"Smith", u"John"}, {}}}},
    {"every EMAIL form, each a row with the card's names, in order, trimmed", 1252,
     "BEGIN:VCARD\nEMAIL;PREF;INTERNET:a@x\nEMAIL;INTERNET:b@x\n"
     "EMAIL;TYPE=INTERNET,PREF:c@x\nitem1.EMAIL;type=pref:d@x\nemail;PREF=1:e@x\n"
     "EMAIL: \tf@x \t\nEMAIL:a@x\nEMAIL:   \nFN:Ann\nEND:VCARD\n",
     {{"a@x", "Ann", {u"Ann"}, {}},
      {"b@x", "Ann", {u"Ann"}, {}},
      {"c@x", "Ann", {u"Ann"}, {}},
      {"d@x", "Ann", {u"Ann"}, {}},
      {"e@x", "Ann", {u"Ann"}, {}},
      {"f@x", "Ann", {u"Ann"}, {}},
      {"a@x", "Ann", {u"Ann"}, {}}}},
    {"N alone: Latin order for the display, every part a name", 1252,
     "BEGIN:VCARD\nN:Doe;Jane;Q.;Dr.;Jr.\nEMAIL:jane@x\nEND:VCARD\n",
     {{"jane@x", "Dr. Jane Q. Doe Jr.", {u"Doe", u"Jane", u"Q.", u"Dr.", u"Jr."}, {}}}},
    {"nicknames split at commas; escapes undone; escaped ';' does not split N", 1252,
     "BEGIN:VCARD\nNICKNAME:Bob, Bobby,Rob\\,ert\nFN:Smith\\, John\\nJr\\\\x\\q\n"
     "N:A\\;B;C\nEMAIL:b@x\nEND:VCARD\n",
     {{"b@x", "Smith, John Jr\\x\\q",
       {u"Bob", u"Bobby", u"Rob,ert", u"Smith, John Jr\\x\\q", u"A;B", u"C"}, {}}}},
    {"folded lines: one blank or tab dropped", 1252,
     "BEGIN:VCARD\nFN:Jo\n hn\n\t ny\nEMAIL:jo\n hn@x\nEND:VCARD\n",
     {{"john@x", "John ny", {u"John ny"}, {}}}},
    {"quoted-printable UTF-8 with soft line breaks; vCard 2.1 bare parameter", 1252,
     "BEGIN:VCARD\nVERSION:2.1\n"
     "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=\n=BCrgen =\nM=C3=BCller\n"
     "N;QUOTED-PRINTABLE:M=FCller;J=FCrgen\nEMAIL;INTERNET:j@x\nEND:VCARD\n",
     {{"j@x", "J\xc3\xbcrgen M\xc3\xbcller",
       {u"J\u00fcrgen M\u00fcller", u"M\u00fcller", u"J\u00fcrgen"}, {}}}},
    {"broken quoted-printable stays as written; a soft break before END", 1252,
     "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:A=ZZ=4\nEMAIL:a@x\nNICKNAME;QUOTED-PRINTABLE:Ab=\n"
     "END:VCARD\nBEGIN:VCARD\nFN:B\nEMAIL:b@x\nEND:VCARD\n",
     {{"a@x", "A=ZZ=4", {u"A=ZZ=4", u"Ab"}, {}}, {"b@x", "B", {u"B"}, {}}}},
    {"UTF-8 Han names in 936", 936,
     "BEGIN:VCARD\nFN;CHARSET=UTF-8:\xe5\xbc\xa0\xe4\xb8\x89\n"
     "N;CHARSET=UTF-8:\xe5\xbc\xa0;\xe4\xb8\x89;;;\nEMAIL:zs@x\nEND:VCARD\n",
     {{"zs@x", "\xe5\xbc\xa0\xe4\xb8\x89", {u"\u5f20\u4e09", u"\u5f20", u"\u4e09"}, {}}}},
    {"Han N alone runs family and given together (936)", 936,
     "BEGIN:VCARD\nN;CHARSET=UTF-8:\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e;;;\nEMAIL:w@x\n"
     "END:VCARD\n",
     {{"w@x", "\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e", {u"\u738b", u"\u5c0f\u660e"}, {}}}},
    {"system code page bytes without CHARSET (936, GBK)", 936,
     "BEGIN:VCARD\nFN:\xd5\xc5\xc8\xfd\nEMAIL:zs@x\nEND:VCARD\n",
     {{"zs@x", "\xe5\xbc\xa0\xe4\xb8\x89", {u"\u5f20\u4e09"}, {}}}},
    {"a simplified Han name 932 cannot hold: dropped, N cannot stand in", 932,
     "BEGIN:VCARD\nFN;CHARSET=UTF-8:\xe5\xbc\xa0\xe4\xb8\x89\n"
     "N;CHARSET=UTF-8:\xe5\xbc\xa0;\xe4\xb8\x89;;;\nEMAIL:zs@x\nEND:VCARD\n",
     {{"zs@x", "", {u"\u4e09"}, {}}}},
    {"what 932 holds, learnt from one card, decides the next ones alike", 932,
     "BEGIN:VCARD\nFN;CHARSET=UTF-8:\xe5\xbc\xa0\xe4\xb8\x89\nEMAIL:a@x\nEND:VCARD\n"
     "BEGIN:VCARD\nFN;CHARSET=UTF-8:\xe4\xb8\x89\xe6\x9c\xa8\n"
     "NICKNAME;CHARSET=UTF-8:\xe5\xbc\xa0,\xe4\xb8\x89\nEMAIL:b@x\nEND:VCARD\n"
     "BEGIN:VCARD\nFN;CHARSET=UTF-8:\xe4\xb8\x89\xe5\xbc\xa0\nN;CHARSET=UTF-8:\xe4\xb8\x89;\xe6\x9c\xa8\n"
     "EMAIL:c@x\nEND:VCARD\n",
     {{"a@x", "", {}, {}},
      {"b@x", "\xe4\xb8\x89\xe6\x9c\xa8", {u"\u4e09\u6728", u"\u4e09"}, {}},
      {"c@x", "\xe4\xb8\x89\xe6\x9c\xa8", {u"\u4e09", u"\u6728"}, {}}}},
    {"a Han FN 1252 cannot hold: N's Latin parts stand in", 1252,
     "BEGIN:VCARD\nFN;CHARSET=UTF-8:\xe5\xbc\xa0\xe4\xb8\x89\nN:Zhang;San;;;\nEMAIL:zs@x\n"
     "END:VCARD\n",
     {{"zs@x", "San Zhang", {u"Zhang", u"San"}, {}}}},
    {"Shift-JIS name and readings (932), half-width kana, X-IRMC-N form", 932,
     "BEGIN:VCARD\nFN;CHARSET=SHIFT_JIS:\x8e\x52\x93\x63\x91\xbe\x98\x59\n"
     "X-PHONETIC-LAST-NAME;CHARSET=SHIFT_JIS:\x82\xe2\x82\xdc\x82\xbe\n"
     "X-PHONETIC-FIRST-NAME:\x82\xbd\x82\xeb\x82\xa4\n"
     "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:\xd4\xcf\xc0\xde;\xc0\xdb\xb3;;;\n"
     "EMAIL;PREF:yamada@x\nEND:VCARD\n",
     {{"yamada@x", "\xe5\xb1\xb1\xe7\x94\xb0\xe5\xa4\xaa\xe9\x83\x8e", {u"\u5c71\u7530\u592a\u90ce"},
       {u"\u3084\u307e\u3060", u"\u305f\u308d\u3046", u"\uff94\uff8f\uff80\uff9e",
        u"\uff80\uff9b\uff73"}}}},
    {"a Shift-JIS second byte 0x5C is no backslash (932)", 932,
     "BEGIN:VCARD\nN:\x83\x5c;\x95\x5c\nEMAIL:so@x\nEND:VCARD\n",
     {{"so@x", "\xe3\x82\xbd\xe8\xa1\xa8", {u"\u30bd", u"\u8868"}, {}}}},
    {"readings: SOUND text, SOUND data skipped, X-PHONETIC-MIDDLE-NAME, X-IRMC-N", 1252,
     "BEGIN:VCARD\nSOUND:yamada taro\nSOUND;ENCODING=b;TYPE=WAVE:AAAA\n"
     "SOUND;VALUE=URI:http://x/a.wav\nX-PHONETIC-MIDDLE-NAME:m\nx-irmc-n:a;b\nEMAIL:y@x\n"
     "END:VCARD\n",
     {{"y@x", "", {}, {u"yamada taro", u"m", u"a", u"b"}}}},
    {"a card without names", 1252, "BEGIN:VCARD\nVERSION:3.0\nEMAIL:x@y\nEND:VCARD\n",
     {{"x@y", "", {}, {}}}},
    {"property names and BEGIN/END in any letter case, groups dropped", 1252,
     "begin:vcard\nfn:ann\nA.Nickname:nan\nItem2.email:a@x\nend:VCard\n",
     {{"a@x", "ann", {u"ann", u"nan"}, {}}}},
    {"outside a card only EMAIL;PREF lines count, as in the plain reading", 1252,
     "EMAIL;PREF: a@b \nEMAIL;INTERNET:c@d\nX:EMAIL;PREF\nEMAIL;PREF\n",
     {{"a@b", "", {}, {}}, {"EMAIL;PREF", "", {}, {}}, {"EMAIL;PREF", "", {}, {}}}},
    {"an unterminated card ends at the next BEGIN:VCARD", 1252,
     "BEGIN:VCARD\nFN:A\nEMAIL:a@x\nBEGIN:VCARD\nFN:B\nEMAIL:b@x\nEND:VCARD\n",
     {{"a@x", "A", {u"A"}, {}}, {"b@x", "B", {u"B"}, {}}}},
    {"a card within a card (AGENT): the outer card ends there", 1252,
     "BEGIN:VCARD\nFN:Outer\nEMAIL:o@x\nAGENT:\nBEGIN:VCARD\nFN:Inner\nEMAIL:i@x\n"
     "END:VCARD\nEMAIL;INTERNET:late@x\nEMAIL;PREF:pref@x\nEND:VCARD\n",
     {{"o@x", "Outer", {u"Outer"}, {}},
      {"i@x", "Inner", {u"Inner"}, {}},
      {"pref@x", "", {}, {}}}},
    {"an unterminated card ends at the end of the data", 1252,
     "BEGIN:VCARD\nFN:A\nEMAIL:a@x", {{"a@x", "A", {u"A"}, {}}}},
    {"0x1A ends the data", 1252,
     "BEGIN:VCARD\nFN:A\nEMAIL:a@x\n\x1a" "EMAIL:b@x\nEND:VCARD\n", {{"a@x", "A", {u"A"}, {}}}},
    {"NUL bytes end a value", 1252,
     "BEGIN:VCARD\nFN:Ab\0cd\nEMAIL:a@x\0y\nEND:VCARD\n"s,
     {{"a@x", "Ab", {u"Ab"}, {}}}},
    {"a name over the card's budget is dropped, the rest read", 1252,
     "BEGIN:VCARD\nFN:" + std::string(2000, 'x') + "\nN:Doe;Jo\nEMAIL:d@x\nEND:VCARD\n",
     {{"d@x", "Jo Doe", {u"Doe", u"Jo"}, {}}}},
    {"a value over the line bound is dropped, folded or not", 1252,
     "BEGIN:VCARD\nFN:" + std::string(70000, 'x') + "\nNICKNAME:" + std::string(40000, 'y') +
         "\n " + std::string(40000, 'y') + "\nNOTE:" + std::string(200000, 'n') +
         "\nEMAIL:d@x\nEND:VCARD\n",
     {{"d@x", "", {}, {}}}},
    {"bytes not valid in their character set drop the name", 932,
     "BEGIN:VCARD\nFN:\x81\nNICKNAME;CHARSET=UTF-8:\xc3\nN;CHARSET=X-UNKNOWN:\xe9;ok\n"
     "X-PHONETIC-LAST-NAME;CHARSET=X-UNKNOWN:plain\nEMAIL:d@x\nEND:VCARD\n",
     {{"d@x", "", {}, {u"plain"}}}},
    {"a ':' in a quoted parameter; the first FN is the display name", 1252,
     "BEGIN:VCARD\nFN;X-A=\"a:b\":First\nFN:Second\nEMAIL;X-B=\"c:d\":e@x\nEND:VCARD\n",
     {{"e@x", "First", {u"First", u"Second"}, {}}}},
    {"EMAIL;PREF lines outside cards, wherever the marker stands", 1252,
     "X:EMAIL;PREF\nBEGIN:VCARD\nNOTE:say EMAIL;PREF:x\nEMAIL;PREF:" + std::string(70000, 'a') +
         "\nEMAIL;PREF;INTERNET:a@x\nEND:VCARD\nEMAIL;PREF\r\r\nEMAIL;PREF:\0z\n"s +
         std::string(100000, 'n') + "EMAIL;PREF:tail",
     // An address cut at a NUL to nothing gives no row, nor does a line
     // longer than kMaxCardLineBytes.
     {{"EMAIL;PREF", "", {}, {}}, {"a@x", "", {}, {}}, {"EMAIL;PREF", "", {}, {}}}},
    {"a line with no ':' and continuations of nothing are skipped", 1252,
     "BEGIN:VCARD\n continued\nFN\n more\nFN:A\nEMAIL:a@x\nEND:VCARD\n more\n",
     {{"a@x", "A", {u"A"}, {}}}},
    {"QP continuation after a long skipped line; an escaped newline", 1252,
     "BEGIN:VCARD\nNOTE;QUOTED-PRINTABLE:a=\nEMAIL:not@x\nFN:A\\nB\nEMAIL:a@x\nEND:VCARD\n",
     {{"a@x", "A B", {u"A B"}, {}}}},
};

class CardParserTest : public ::testing::TestWithParam<Case> {};

TEST_P(CardParserTest, RowsWhateverTheChunking) {
  const Case& c = GetParam();
  IconvTextCodec codec(c.code_page);
  const std::vector<NamedAddress> want = Expected(c);
  const std::vector<NamedAddress> whole = ReadCut(c.book, {}, codec);
  ASSERT_TRUE(Same(whole, want)) << "got" << Describe(whole, c.code_page) << "\nwant"
                             << Describe(want, c.code_page);
  EXPECT_TRUE(Same(ReadCut(CrLf(c.book), {}, codec), want)) << "CR LF";
  if (c.book.size() > 1000) {
    std::vector<size_t> cuts;
    for (size_t i = 0; i < c.book.size(); i += 997) cuts.push_back(i);
    EXPECT_TRUE(Same(ReadCut(c.book, cuts, codec), want)) << "cut every 997 bytes";
    return;
  }
  std::vector<size_t> bytes;
  for (size_t i = 0; i <= c.book.size(); ++i) bytes.push_back(i);
  EXPECT_TRUE(Same(ReadCut(c.book, bytes, codec), want)) << "byte by byte";
  EXPECT_TRUE(Same(ReadCut(CrLf(c.book), bytes, codec), want)) << "CR LF byte by byte";
  for (size_t i = 1; i < c.book.size(); ++i) {
    for (size_t j = i; j < c.book.size(); j += 7) {
      ASSERT_TRUE(Same(ReadCut(c.book, {i, j}, codec), want)) << "cut at " << i << ", " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cards, CardParserTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return "case" + std::to_string(info.index);
                         });

TEST(CardParser, FeedAfterTheEndIsIgnored) {
  IconvTextCodec codec(1252);
  std::vector<NamedAddress> rows;
  CCardParser parser(rows, codec);
  const std::string a = "BEGIN:VCARD\nEMAIL:a@x\n\x1a";
  EXPECT_FALSE(parser.Feed(a.data(), a.size()));
  EXPECT_TRUE(parser.ended());
  const std::string b = "EMAIL;PREF:b@x\n";
  EXPECT_FALSE(parser.Feed(b.data(), b.size()));
  parser.Finish();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].address, "a@x");
}

}  // namespace
