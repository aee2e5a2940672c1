// The built-in pinyin table against the Unihan file it was made from: every
// character from U+3400 to U+9FFF must have exactly the Mandarin readings
// that the file's kMandarin, kHanyuPinyin, kXHC1983 and kTGHZ2013 give it,
// without tones and with ü as v. A stale or damaged table fails here.
// usage: pinyin_table_test <Unihan_Readings.txt>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "complete/pinyin.h"

using namespace vantrel;

namespace {

std::string g_unihan_path;

// A reading in UTF-8 with tone marks -> plain letters, ü as v; "" when it
// holds anything else.
std::string Plain(const std::string& s) {
  static const std::map<std::string, char> kMarked = {
      {"à", 'a'}, {"á", 'a'}, {"ǎ", 'a'}, {"ā", 'a'}, {"è", 'e'}, {"é", 'e'}, {"ě", 'e'},
      {"ē", 'e'}, {"ê", 'e'}, {"ế", 'e'}, {"ề", 'e'}, {"ì", 'i'}, {"í", 'i'}, {"ǐ", 'i'},
      {"ī", 'i'}, {"ò", 'o'}, {"ó", 'o'}, {"ǒ", 'o'}, {"ō", 'o'}, {"ù", 'u'}, {"ú", 'u'},
      {"ǔ", 'u'}, {"ū", 'u'}, {"ü", 'v'}, {"ǘ", 'v'}, {"ǚ", 'v'}, {"ǜ", 'v'}, {"ń", 'n'},
      {"ň", 'n'}, {"ǹ", 'n'}, {"ḿ", 'm'}};
  static const std::set<std::string> kCombining = {"\xCC\x80", "\xCC\x84", "\xCC\x8C"};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      if (b < 'a' || b > 'z') return "";
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    const size_t n = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    const std::string ch = s.substr(i, n);
    i += n;
    if (kCombining.count(ch)) continue;
    auto it = kMarked.find(ch);
    if (it == kMarked.end()) return "";
    out += it->second;
  }
  return out;
}

TEST(PinyinTable, EveryCharacterHasExactlyItsUnihanReadings) {
  std::ifstream in(g_unihan_path);
  ASSERT_TRUE(in) << "cannot read " << g_unihan_path;
  std::map<uint32_t, std::set<std::string>> want;
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) {
    if (line.compare(0, 2, "U+") != 0) continue;
    std::istringstream fields(line);
    std::string code, field, value;
    std::getline(fields, code, '\t');
    std::getline(fields, field, '\t');
    std::getline(fields, value);
    if (field != "kMandarin" && field != "kHanyuPinyin" && field != "kXHC1983" && field != "kTGHZ2013")
      continue;
    const uint32_t cp = static_cast<uint32_t>(std::stoul(code.substr(2), nullptr, 16));
    if (cp < 0x3400 || cp > 0x9FFF) continue;
    ++lines;
    std::istringstream parts(value);
    std::string part;
    while (parts >> part) {
      // kMandarin: readings; the others: location:reading[,reading...]
      if (field != "kMandarin") part = part.substr(part.find(':') + 1);
      std::istringstream readings(part);
      std::string r;
      while (std::getline(readings, r, ',')) {
        const std::string p = Plain(r);
        ASSERT_FALSE(p.empty()) << line;
        want[cp].insert(p);
      }
    }
  }
  ASSERT_GT(lines, 40000u) << "not the Unihan readings file";
  size_t with_readings = 0, mismatches = 0;
  for (uint32_t cp = 0x3400; cp <= 0x9FFF; ++cp) {
    const PinyinReadings r = ReadingsOf(static_cast<char16_t>(cp));
    std::set<std::string> got;
    for (size_t i = 0; i < r.count; ++i) got.insert(std::string(PinyinSyllable(r.ids[i])));
    const auto it = want.find(cp);
    const std::set<std::string> expected = it == want.end() ? std::set<std::string>() : it->second;
    with_readings += !got.empty();
    if (got != expected && ++mismatches <= 10) {
      std::string g, e;
      for (const auto& s : got) g += s + " ";
      for (const auto& s : expected) e += s + " ";
      ADD_FAILURE() << "U+" << std::hex << cp << ": table has [" << g << "], Unihan [" << e << "]";
    }
  }
  EXPECT_EQ(0u, mismatches);
  EXPECT_EQ(want.size(), with_readings);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  g_unihan_path = argc > 1 ? argv[1] : "Unihan_Readings.txt";
  return RUN_ALL_TESTS();
}
