// The name mode's rows through the real reader: address books written to
// disk in several character sets and read with ParseAddressBooks, in the
// system code pages 1252, 936 and 932 (the program's runs). The addresses of
// the plain reading must stay byte for byte what they are without rows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "addrbook/address_books.h"
#include "addrbook/card_parser.h"
#include "platform/handles.h"
#include "platform/text_codec.h"

using namespace vantrel;

namespace {

using Names = std::vector<std::u16string>;

struct Want {
  std::string address;
  std::u16string display;
  Names names;
  Names readings;
};

std::string Ansi(const std::u16string& w) {
  if (w.empty()) return std::string();
  const wchar_t* p = reinterpret_cast<const wchar_t*>(w.data());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, p, static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, p, static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::string Hex(const std::string& s) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

std::string Hex16(const std::u16string& s) {
  std::string out;
  char buf[8];
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::string Describe(const std::vector<NamedAddress>& rows) {
  std::string s;
  for (const NamedAddress& r : rows) {
    s += "\n  [" + Hex(r.address) + "] \"" + Hex(r.display_name) + "\" names:";
    for (const auto& n : r.names) s += " {" + Hex16(n) + "}";
    s += " readings:";
    for (const auto& n : r.readings) s += " {" + Hex16(n) + "}";
  }
  return s;
}

void ExpectRows(const std::vector<NamedAddress>& got, const std::vector<Want>& want) {
  std::vector<NamedAddress> w;
  for (const Want& x : want) w.push_back({x.address, Ansi(x.display), x.names, x.readings});
  bool same = got.size() == w.size();
  for (size_t i = 0; same && i < got.size(); ++i) {
    same = got[i].address == w[i].address && got[i].display_name == w[i].display_name &&
           got[i].names == w[i].names && got[i].readings == w[i].readings;
  }
  EXPECT_TRUE(same) << "code page " << ::GetACP() << "\ngot" << Describe(got) << "\nwant"
                    << Describe(w);
}

class Folder {
 public:
  Folder() {
    char tmp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, tmp);
    static int counter = 0;
    root_ = std::string(tmp) + "vantrel-rows-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    ::CreateDirectoryA(root_.c_str(), nullptr);
  }
  ~Folder() {
    for (const std::string& p : files_) ::DeleteFileA(p.c_str());
    ::RemoveDirectoryA(root_.c_str());
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = root_ + "\\" + name;
    UniqueHandle h(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(h && ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                 &written, nullptr) &&
                written == bytes.size())
        << path;
    files_.push_back(path);
    return path;
  }

 private:
  std::string root_;
  std::vector<std::string> files_;
};

// Collects what a sink is given.
class Collect final : public NamedAddressSink {
 public:
  void Take(const NamedAddress& row) override { rows.push_back(row); }
  std::vector<NamedAddress> rows;
};

bool SameRows(const std::vector<NamedAddress>& a, const std::vector<NamedAddress>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].address != b[i].address || a[i].display_name != b[i].display_name ||
        a[i].names != b[i].names || a[i].readings != b[i].readings) {
      return false;
    }
  }
  return true;
}

// Reads the files every way; the addresses must not depend on the rows, and
// the rows not on how they are taken.
std::vector<NamedAddress> ReadRows(const PathList& paths) {
  std::vector<std::string> plain, with_rows, with_sink, none;
  ParseAddressBooks(paths, plain);
  std::vector<NamedAddress> rows;
  ParseAddressBooks(paths, with_rows, &rows);
  EXPECT_EQ(with_rows, plain);
  Collect sink;
  ParseAddressBooks(paths, with_sink, sink);
  EXPECT_EQ(with_sink, plain);
  EXPECT_TRUE(SameRows(sink.rows, rows)) << "through the sink" << Describe(sink.rows);
  ParseAddressBooks(paths, none, nullptr);
  EXPECT_EQ(none, plain);
  return rows;
}

// 张三 in UTF-8, folded with quoted-printable soft line breaks; 山田太郎 and
// its readings in Shift-JIS; Latin names folded, every EMAIL form.
const char kBook[] =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:John Smith\r\nN:Smith;John;;;\r\n"
    "EMAIL;PREF;INTERNET:john@example.com\r\nEMAIL;INTERNET: js@example.com \r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\n"
    "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=\r\n=E4=B8=89\r\n"
    "N;CHARSET=UTF-8:\xe5\xbc\xa0;\xe4\xb8\x89;;;\r\n"
    "NICKNAME;CHARSET=UTF-8:\xe5\xb0\x8f\xe5\xbc\xa0\r\n"
    "EMAIL;PREF:zs1985@example.cn\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nFN;CHARSET=SHIFT_JIS:\x8e\x52\x93\x63\x91\xbe\x98\x59\r\n"
    "X-PHONETIC-LAST-NAME;CHARSET=SHIFT_JIS:\x82\xe2\x82\xdc\x82\xbe\r\n"
    "EMAIL;TYPE=INTERNET,PREF:yamada@example.jp\r\nEND:VCARD\r\n"
    "begin:vcard\r\nfn:Anna\r\n  Lindqvist\r\nitem1.EMAIL;type=pref:anna@example.se\r\n"
    "EMAIL;PREF=1:a.l@example.se\r\nend:vcard\r\n"
    "BEGIN:VCARD\r\nEMAIL:nobody@example.org\r\nEND:VCARD\r\n"
    "EMAIL;PREF:loose@example.net\r\n"
    "BEGIN:VCARD\r\nFN:Last\r\nEMAIL:last@example.com";

const std::u16string kZhang = u"\u5f20\u4e09";
const std::u16string kYamada = u"\u5c71\u7530\u592a\u90ce";
const std::u16string kYamadaKana = u"\u3084\u307e\u3060";

TEST(NamedRows, CardsInSeveralCharacterSets) {
  Folder f;
  const PathList paths = {f.Write("a.bab", kBook)};
  const std::vector<NamedAddress> rows = ReadRows(paths);
  std::vector<Want> want = {
      {"john@example.com", u"John Smith", {u"John Smith", u"Smith", u"John"}, {}},
      {"js@example.com", u"John Smith", {u"John Smith", u"Smith", u"John"}, {}},
  };
  // What each code page can hold of 张三, 小张 and 山田太郎 (やまだ).
  switch (::GetACP()) {
    case 936:
      want.push_back({"zs1985@example.cn", kZhang,
                      {kZhang, u"\u5f20", u"\u4e09", u"\u5c0f\u5f20"}, {}});
      want.push_back({"yamada@example.jp", kYamada, {kYamada}, {kYamadaKana}});
      break;
    case 932:
      // 张 is simplified: Shift-JIS has no such character.
      want.push_back({"zs1985@example.cn", u"", {u"\u4e09"}, {}});
      want.push_back({"yamada@example.jp", kYamada, {kYamada}, {kYamadaKana}});
      break;
    default:
      want.push_back({"zs1985@example.cn", u"", {}, {}});
      want.push_back({"yamada@example.jp", u"", {}, {}});
      break;
  }
  const Names anna = {u"Anna Lindqvist"};
  want.push_back({"anna@example.se", u"Anna Lindqvist", anna, {}});
  want.push_back({"a.l@example.se", u"Anna Lindqvist", anna, {}});
  want.push_back({"nobody@example.org", u"", {}, {}});
  want.push_back({"loose@example.net", u"", {}, {}});
  want.push_back({"last@example.com", u"Last", {u"Last"}, {}});
  ExpectRows(rows, want);
}

// Bad input across the reader's chunks: a name far longer than a chunk, a
// card within a card, broken quoted-printable, NULs and an end-of-data byte.
// Nothing is lost but what is broken, and the rest is read.
TEST(NamedRows, BadInputAcrossChunks) {
  Folder f;
  std::string book = "BEGIN:VCARD\nFN:" + std::string(600 * 1024, 'x') + "\nN:Huge;Name\n" +
                     "NOTE:" + std::string(300 * 1024, 'n') + "\nEMAIL:huge@x\nEND:VCARD\n";
  book += "BEGIN:VCARD\nFN:Outer\nEMAIL:outer@x\nAGENT:\nBEGIN:VCARD\nFN:Inner\n"
          "EMAIL:inner@x\nEND:VCARD\nEND:VCARD\n";
  book += "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:Br=KEN=4\nEMAIL:broken@x\nEND:VCARD\n";
  book += std::string("BEGIN:VCARD\nFN:N\0L\nEMAIL:nul@x\nEND:VCARD\n", 41);
  const std::string second = "BEGIN:VCARD\nFN:Cut\nEMAIL:cut@x\n\x1a" "EMAIL:after@x\n";
  const PathList paths = {f.Write("bad.bab", book), f.Write("cut.bab", second)};
  ExpectRows(ReadRows(paths), {
                                  {"huge@x", u"Name Huge", {u"Huge", u"Name"}, {}},
                                  {"outer@x", u"Outer", {u"Outer"}, {}},
                                  {"inner@x", u"Inner", {u"Inner"}, {}},
                                  {"broken@x", u"Br=KEN=4", {u"Br=KEN=4"}, {}},
                                  {"nul@x", u"N", {u"N"}, {}},
                                  {"cut@x", u"Cut", {u"Cut"}, {}},
                              });
}

// Many books, some spanning several chunks, read on the card reader's
// thread: the rows of one parser per book, in order; a sink that fails
// there fails the reading, and the next reading is whole again.
TEST(NamedRows, ManyBooksReadOnTheCardThread) {
  Folder f;
  PathList paths;
  Collect want;
  for (int b = 0; b < 24; ++b) {
    std::string book;
    const int cards = b % 6 == 5 ? 4000 : 1 + b;  // about 400 KB: two chunks or more
    for (int i = 0; i < cards; ++i) {
      const std::string n = std::to_string(b) + "x" + std::to_string(i);
      book += "BEGIN:VCARD\r\nFN:Name " + n + "\r\nNICKNAME:Nick" + n +
              "\r\nNOTE:" + std::string(40, 'n') + "\r\nEMAIL;PREF:m" + n +
              "@example.org\r\nEND:VCARD\r\n";
    }
    paths.push_back(f.Write("book" + std::to_string(b) + ".bab", book));
    CCardParser parser(want, SystemTextCodec());
    parser.Feed(book.data(), book.size());
    parser.Finish();
  }
  ASSERT_GT(want.rows.size(), 16000u);
  EXPECT_TRUE(SameRows(ReadRows(paths), want.rows));

  struct Failing final : NamedAddressSink {
    size_t taken = 0;
    void Take(const NamedAddress&) override {
      if (++taken == 5000) throw std::bad_alloc();
    }
  } failing;
  std::vector<std::string> addresses;
  EXPECT_THROW(ParseAddressBooks(paths, addresses, failing), std::bad_alloc);
  EXPECT_EQ(5000u, failing.taken) << "nothing is handed out after the failure";
  EXPECT_TRUE(SameRows(ReadRows(paths), want.rows));
}

// The codec is strict both ways: no best-fit look-alike, no default
// character, no invalid bytes read as something.
TEST(SystemTextCodec, StrictConversions) {
  const TextCodec& codec = SystemTextCodec();
  std::u16string w;
  std::string a;
  ASSERT_TRUE(codec.CharsetToWide("utf-8", "J\xc3\xbcrgen", &w));
  EXPECT_EQ(w, u"J\u00fcrgen");
  EXPECT_FALSE(codec.CharsetToWide("UTF-8", "\xc3", &w));
  EXPECT_FALSE(codec.CharsetToWide("X-UNKNOWN", "abc", &w));
  ASSERT_TRUE(codec.CharsetToWide("Shift_JIS", "\x83\x5c\x95\x5c", &w));
  EXPECT_EQ(w, u"\u30bd\u8868");
  ASSERT_TRUE(codec.CharsetToWide("GBK", "\xd5\xc5\xc8\xfd", &w));
  EXPECT_EQ(w, kZhang);
  ASSERT_TRUE(codec.CharsetToWide("ISO-8859-1", "\xe9", &w));
  EXPECT_EQ(w, u"\u00e9");
  ASSERT_TRUE(codec.CharsetToWide("EUC-JP", "\xbb\xb3\xc5\xc4", &w));
  EXPECT_EQ(w, u"\u5c71\u7530");
  EXPECT_TRUE(codec.AnsiToWide("", &w) && w.empty());
  EXPECT_TRUE(codec.WideToAnsi(u"", &a) && a.empty());
  ASSERT_TRUE(codec.WideToAnsi(u"plain", &a));
  EXPECT_EQ(a, "plain");

  struct PerCodePage {
    std::u16string held;       // held exactly
    std::string held_bytes;
    std::u16string not_held;   // no exact form (best fit would make one up)
    std::string invalid;       // bytes that are no text in the code page
  };
  PerCodePage c;
  switch (::GetACP()) {
    case 936:
      c = {kZhang, "\xd5\xc5\xc8\xfd", u"\u0141ukasz", "\x81"};
      break;
    case 932:
      c = {kYamada, "\x8e\x52\x93\x63\x91\xbe\x98\x59", u"\u5f20", "\x81"};
      break;
    default:
      c = {u"J\u00fcrgen", "J\xfcrgen", u"\u0141\u00f3d\u017a", ""};
      break;
  }
  ASSERT_TRUE(codec.WideToAnsi(c.held, &a));
  EXPECT_EQ(a, c.held_bytes);
  ASSERT_TRUE(codec.AnsiToWide(c.held_bytes, &w));
  EXPECT_EQ(w, c.held);
  EXPECT_FALSE(codec.WideToAnsi(c.not_held, &a)) << Hex(a);
  EXPECT_FALSE(codec.WideToAnsi(kZhang + u"\u0416\u4e00\u2603", &a)) << Hex(a);
  if (!c.invalid.empty()) {
    EXPECT_FALSE(codec.AnsiToWide(c.invalid, &w)) << Hex16(w);
  }
}

}  // namespace
