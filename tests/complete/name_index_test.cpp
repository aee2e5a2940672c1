// The name mode's matching: folding, word starts, pinyin, kana and romaji,
// rows collapsed by address, on tables of fixed cases; then the index
// against the literal reference matcher on generated cards.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "complete/name_index.h"
#include "complete/name_reference.h"
#include "complete/name_text.h"
#include "complete/pinyin.h"
#include "complete/romaji.h"

using namespace vantrel;
using namespace vantrel::testing;

// Counts this program's allocations, to show that typing allocates nothing.
static std::atomic<size_t> g_allocations{0};
static void* Allocate(size_t n) noexcept {
  ++g_allocations;
  return std::malloc(n ? n : 1);
}
void* operator new(size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

std::string Show(std::u16string_view s) { return Utf8(s); }

TEST(NameText, FoldsCaseWidthAndKana) {
  const struct {
    std::u16string in, want;
  } cases[] = {
      {u"John SMITH", u"john smith"},
      {u"ＡＢＣ１２", u"abc12"},
      {u"ÀÉÖÞ", u"àéöþ"},
      {u"ŁŚŹĄĲ", u"łśźąĳ"},
      {u"İŸ", u"iÿ"},
      {u"ΑΒΓΆ", u"αβγά"},
      {u"ДЖЁ", u"джё"},
      {u"カタカナ", u"かたかな"},
      {u"ｶﾞｷﾞｸﾞﾊﾟ", u"がぎぐぱ"},
      {u"ｳﾞｧ", u"ゔぁ"},
      {u"カ゛ハ゜", u"がぱ"},
      {u"か\u3099は\u309A", u"がぱ"},
      {u"ｻﾄｰ", u"さとー"},
      {u"ﾞあ", u"゛あ"},
      {u"a\u3000b\u00A0c", u"a b c"},
      {u"张三張三", u"张三張三"},
  };
  std::u16string out;
  for (const auto& c : cases) {
    FoldName(c.in, &out);
    EXPECT_EQ(Show(c.want), Show(out)) << Show(c.in);
  }
}

TEST(NameText, WordsSplitAtBlanksPunctuationAndLatinBoundaries) {
  const struct {
    std::u16string name;
    std::vector<std::u16string> words;  // the text from each word start
  } cases[] = {
      {u"John Smith", {u"john smith", u"smith"}},
      {u"Anna-Maria", {u"anna-maria", u"maria"}},
      {u"O'Brien", {u"o'brien", u"brien"}},
      {u"zs1985", {u"zs1985"}},
      {u"Tom张三", {u"tom张三", u"张三"}},
      {u"张三Tom", {u"张三tom", u"tom"}},
      {u"山田さん", {u"山田さん"}},
      {u"山田　太郎", {u"山田 太郎", u"太郎"}},
      {u"ヤマダ・タロウ", {u"やまだ・たろう", u"たろう"}},
      {u"  (x)", {u"x)"}},
      {u"Ирина Ivanova", {u"ирина ivanova", u"ivanova"}},
      {u"Jose\u0301 Nu\u0303n\u0303ez", {u"jose\u0301 nu\u0303n\u0303ez", u"nu\u0303n\u0303ez"}},
  };
  std::u16string folded;
  for (const auto& c : cases) {
    FoldName(c.name, &folded);
    std::vector<std::string> got, want;
    for (size_t i = 0; i < folded.size(); ++i)
      if (IsWordStart(folded, i)) got.push_back(Show(folded.substr(i)));
    for (const auto& w : c.words) want.push_back(Show(w));
    EXPECT_EQ(want, got) << Show(c.name);
  }
}

TEST(Pinyin, ReadingsOfSurnamesAndPolyphones) {
  const struct {
    char16_t c;
    std::vector<std::string> some;  // must all be among its readings
  } cases[] = {
      {u'张', {"zhang"}}, {u'張', {"zhang"}}, {u'曾', {"zeng", "ceng"}},
      {u'单', {"dan", "shan", "chan"}}, {u'單', {"dan", "shan", "chan"}},
      {u'长', {"chang", "zhang"}}, {u'長', {"chang", "zhang"}}, {u'吕', {"lv"}},
      {u'女', {"nv"}}, {u'重', {"zhong", "chong"}}, {u'㐀', {"qiu"}}, {u'鿿', {}},
  };
  for (const auto& c : cases) {
    const PinyinReadings r = ReadingsOf(c.c);
    std::vector<std::string> got;
    for (size_t i = 0; i < r.count; ++i) got.emplace_back(PinyinSyllable(r.ids[i]));
    for (const auto& s : c.some)
      EXPECT_NE(got.end(), std::find(got.begin(), got.end(), s)) << Show(std::u16string(1, c.c)) << " " << s;
    if (c.some.empty()) {
      EXPECT_TRUE(got.empty());
    }
  }
  EXPECT_EQ(0u, ReadingsOf(u'a').count);
  EXPECT_EQ(0u, ReadingsOf(u'さ').count);
}

TEST(Pinyin, TokenIsARunOfWholeOrStartedSyllables) {
  const struct {
    std::u16string run;
    std::string token;
    bool match;
  } cases[] = {
      {u"张三", "zhangsan", true}, {u"张三", "zhangs", true}, {u"张三", "zs", true},
      {u"张三", "zhs", true},      {u"张三", "zsan", true},   {u"张三", "zhang", true},
      {u"张三", "z", true},        {u"张三", "zhangx", false}, {u"张三", "zhangsana", false},
      {u"张三", "san", false},     {u"张三", "zhangsanx", false}, {u"张三", "zan", false},
      {u"曾国", "zg", true},       {u"曾国", "cg", true},     {u"单田芳", "shantianfang", true},
      {u"单田芳", "ctf", true},    {u"单田芳", "dtf", true},  {u"长乐", "changle", true},
      {u"长乐", "zhangyue", true}, {u"吕布", "lvbu", true},   {u"吕布", "lubu", true},
      {u"吕布", "lb", true},       {u"张a", "zhanga", false}, {u"張三豐", "zsf", true},
      {u"", "a", false},           {u"张", "", true},
      // Syllables set apart (the matcher makes blanks and runs of them one
      // separator): between pieces only.
      {u"张三", "zhang'san", true}, {u"张三", "z's", true},  {u"张三", "zhan'san", true},
      {u"张三", "zha'ng", false},  {u"西安", "xi'an", true}, {u"西安", "xian", true},
      {u"先", "xian", true},       {u"先", "xi'an", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.match, PinyinMatches(c.run, c.token)) << Show(c.run) << " " << c.token;
}

TEST(Romaji, HepburnKunreiLongVowelsAndDoubling) {
  const struct {
    std::u16string kana;  // folded
    std::string token;
    bool match;
  } cases[] = {
      {u"やまだ", "yamada", true},    {u"やまだ", "yama", true},      {u"やまだ", "yamadb", false},
      {u"さとう", "satou", true},     {u"さとう", "satoo", true},     {u"さとう", "sato", true},
      {u"さとうし", "satoshi", true}, {u"さとー", "satou", true},     {u"さとー", "sato-", true},
      {u"さとー", "satoo", true},     {u"しょうた", "shouta", true},  {u"しょうた", "syota", true},
      {u"しょうた", "sh", true},      {u"しょうた", "shi", false},    {u"し", "shi", true},
      {u"し", "si", true},            {u"ち", "chi", true},           {u"ち", "ti", true},
      {u"つ", "tsu", true},           {u"つ", "tu", true},            {u"ふじ", "fuji", true},
      {u"ふじ", "huzi", true},        {u"じゃ", "ja", true},          {u"じゃ", "zya", true},
      {u"じゃ", "jya", true},         {u"ちゃ", "cha", true},         {u"ちゃ", "tya", true},
      {u"はっとり", "hattori", true}, {u"はっとり", "hatori", false}, {u"はっとり", "haxtutori", true},
      {u"いっち", "itchi", true},     {u"いっち", "icchi", true},     {u"いっち", "itti", true},
      {u"ほんだ", "honda", true},     {u"ほんだ", "hon'da", true},    {u"ほんだ", "hondda", false},
      {u"けんいち", "kenichi", true}, {u"けんいち", "kenniti", true}, {u"おおの", "ono", true},
      {u"おおの", "oono", true},      {u"ゆうこ", "yuko", true},      {u"ゆうこ", "yuuko", true},
      {u"ゆうこ", "yuoko", false},    {u"きょうこ", "kyoko", true},   {u"きょうこ", "kiyo", false},
      {u"ぢ", "di", true},            {u"を", "wo", true},            {u"を", "o", true},
      {u"ら", "la", false},           {u"ゔぁ", "va", true},          {u"き", "", true},
      {u"a", "a", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.match, RomajiMatches(c.kana, c.token)) << Show(c.kana) << " " << c.token;
}

// A fixed book: addresses are digits so that a letter token finds names only.
struct Row {
  const char* address;
  std::vector<std::u16string> names, readings;
};
const Row kRows[] = {
    {"101@a.cn", {u"张三", u"张", u"三"}, {}},
    {"102@a.cn", {u"曾小明", u"曾", u"小明"}, {}},
    {"103@a.cn", {u"单田芳"}, {}},
    {"104@a.cn", {u"长孙无忌"}, {}},
    {"105@a.tw", {u"張三豐"}, {}},
    {"106@a.cn", {u"吕布"}, {}},
    {"107@a.jp", {u"山田太郎", u"山田", u"太郎"}, {u"やまだ", u"たろう"}},
    {"108@a.jp", {u"佐藤翔太"}, {u"サトウ", u"ｼｮｳﾀ"}},
    {"109@a.jp", {u"さくら"}, {}},
    {"110@a.jp", {u"服部"}, {u"はっとり"}},
    {"111@a.jp", {u"千葉"}, {u"ちば"}},
    {"112@x.com", {u"John Smith Jr.", u"Johnny"}, {}},
    {"113@x.de", {u"Jürgen Müller"}, {}},
    {"114@qq.com", {u"Tom张三"}, {}},
    {"101@A.CN", {u"Other"}, {}},  // the same address: dropped
    {"116@x.com", {}, {}},
    {"Alpha@x.com", {u"Beta"}, {}},
};

class NameIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NameIndexBuilder b;
    for (const Row& r : kRows) {
      NamedAddress a;
      a.address = r.address;
      a.display_name = "name of " + a.address;
      a.names = r.names;
      a.readings = r.readings;
      b.Add(a, UpperAscii(a.address));
    }
    index_ = b.Build();
  }
  std::vector<std::string> Match(const std::u16string& token) {
    std::vector<uint32_t> rows;
    matcher_.Match(*index_, UpperAscii(Utf8(token)), token, &rows);
    std::vector<std::string> out;
    for (uint32_t r : rows) out.emplace_back(index_->addresses().entry(r));
    return out;
  }
  std::shared_ptr<const NameIndex> index_;
  NameMatcher matcher_;
};

TEST_F(NameIndexTest, EveryWayOfFindingARow) {
  using V = std::vector<std::string>;
  const V zhang_san = {"101@a.cn", "105@a.tw", "114@qq.com"};
  const V zhang_s = {"101@a.cn", "104@a.cn", "105@a.tw", "114@qq.com"};  // and 长孙 zhangsun
  const struct {
    std::u16string token;
    V want;
  } cases[] = {
      {u"zhangsan", zhang_san}, {u"zhangs", zhang_s}, {u"zs", zhang_s}, {u"zhs", zhang_s},
      {u"zsan", zhang_san},     {u"ZhangSan", zhang_san}, {u"zhangx", {}},
      {u"san", {"101@a.cn"}},   // N's given part
      {u"zhang", {"101@a.cn", "104@a.cn", "105@a.tw", "114@qq.com"}},  // 长 zhang
      {u"zeng", {"102@a.cn"}},  {u"ceng", {"102@a.cn"}},  {u"zxm", {"102@a.cn"}},
      {u"xiaoming", {"102@a.cn"}},
      {u"shan", {"103@a.cn", "107@a.jp"}},  // 单 shan, 山 shan
      {u"chan", {"103@a.cn", "104@a.cn"}},  {u"dtf", {"103@a.cn"}},   {u"chang", {"104@a.cn"}},
      {u"csw", {"104@a.cn"}},   {u"zsf", {"105@a.tw"}},   {u"lvbu", {"106@a.cn"}},
      {u"lubu", {"106@a.cn"}},  {u"lüb", {"106@a.cn"}},   {u"qy", {"111@a.jp"}},
      {u"张", {"101@a.cn", "114@qq.com"}}, {u"張", {"105@a.tw"}},
      {u"やまだ", {"107@a.jp"}}, {u"ヤマダ", {"107@a.jp"}}, {u"ﾔﾏﾀﾞ", {"107@a.jp"}},
      {u"たろ", {"107@a.jp"}},  {u"yamada", {"107@a.jp"}}, {u"taroo", {"107@a.jp"}},
      {u"satou", {"108@a.jp"}}, {u"satoo", {"108@a.jp"}},  {u"syouta", {"108@a.jp"}},
      {u"しょうた", {"108@a.jp"}}, {u"sh", {"103@a.cn", "107@a.jp", "108@a.jp"}},
      {u"sakura", {"109@a.jp"}}, {u"サクラ", {"109@a.jp"}}, {u"hattori", {"110@a.jp"}},
      {u"hatori", {}},          {u"chiba", {"111@a.jp"}},  {u"tiba", {"111@a.jp"}},
      {u"john", {"112@x.com"}}, {u"SMITH", {"112@x.com"}}, {u"smith j", {"112@x.com"}},
      {u"jr", {"112@x.com"}},   {u"johnny", {"112@x.com"}}, {u"müller", {"113@x.de"}},
      {u"MÜLLER", {"113@x.de"}}, {u"muller", {}},          {u"tom", {"114@qq.com"}},
      {u"tom张", {"114@qq.com"}}, {u"other", {}},          {u"101", {"101@a.cn"}},
      {u"ALP", {"Alpha@x.com"}}, {u"beta", {"Alpha@x.com"}}, {u"-", {}}, {u"'", {}},
      {u"ｊｏｈｎ", {"112@x.com"}},
      // Pinyin with its syllables set apart by blanks or apostrophes.
      {u"zhang san", zhang_san}, {u"Zhang  San", zhang_san}, {u"zhang'san", zhang_san},
      {u"z s", zhang_s},        {u"xiao ming", {"102@a.cn"}}, {u"zha ngsan", {}},
      {u"zhang x", {}},         {u"'zs", zhang_s},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, Match(c.token)) << Show(c.token);
}

TEST_F(NameIndexTest, RowsCollapseByAddressKeepingTheFirst) {
  ASSERT_EQ(16u, index_->size());
  std::vector<std::string> all;
  for (uint32_t i : index_->addresses().sorted_order())
    all.push_back(std::string(index_->addresses().entry(i)) + "|" + std::string(index_->display_name(i)));
  EXPECT_EQ("101@a.cn|name of 101@a.cn", all[0]);
  EXPECT_EQ("Alpha@x.com|name of Alpha@x.com", all.back());
  EXPECT_EQ(all.size(), Match(u"").size()) << "an empty token finds every row";
}

TEST(NameIndex, EmptyIndexAndRowsWithoutNames) {
  NameMatcher m;
  std::vector<uint32_t> got{7};
  auto empty = NameIndexBuilder().Build();
  m.Match(*empty, "A", u"a", &got);
  EXPECT_TRUE(got.empty());
  NameIndexBuilder b;
  NamedAddress r;
  r.address = "a@b";
  r.names = {u"", u"  ", u"ﾞ"};
  b.Add(r, "A@B");
  auto ix = b.Build();
  m.Match(*ix, "A", u"a", &got);
  EXPECT_EQ(std::vector<uint32_t>{0}, got);
  m.Match(*ix, "X", u"x", &got);
  EXPECT_TRUE(got.empty());
}

TEST(NameIndex, HugeAndManyNamesAreCutNotSortedForever) {
  // A name of 200,000 characters whose suffixes all look alike, and a row
  // with thousands of nicknames: only the first characters and names count.
  std::u16string huge;
  for (int i = 0; i < 100000; ++i) huge += u"a ";
  NamedAddress r;
  r.address = "x@y";
  r.names = {huge};
  for (int i = 0; i < 5000; ++i) r.names.push_back(u"nick" + Utf16(std::to_string(i)));
  NameIndexBuilder b;
  b.Add(r, "X@Y");
  auto ix = b.Build();
  NameMatcher m;
  std::vector<uint32_t> got;
  const struct {
    std::u16string token;
    bool match;
  } cases[] = {{u"a a a", true}, {u"nick0", true}, {u"nick62", true}, {u"nick63", false},
               {u"nick4999", false}, {u"b", false}};
  for (const auto& c : cases) {
    m.Match(*ix, UpperAscii(Utf8(c.token)), c.token, &got);
    EXPECT_EQ(c.match, !got.empty()) << Utf8(c.token);
  }
  EXPECT_LT(ix->MemoryBytes(), 64u * 1024) << "the cut names are not kept";
}

TEST(NameIndex, TypingAllocatesNothingOnceWarmedUp) {
  const auto cards = MakeCards(500, 3);
  const auto rows = RowsOf(cards);
  NameIndexBuilder b;
  for (const NamedAddress& r : rows) b.Add(r, UpperAscii(r.address));
  auto index = b.Build();
  const auto tokens = MakeTokens(cards, 200, 5);
  NameMatcher m;
  std::vector<uint32_t> got;
  got.reserve(index->size());
  for (const Token& t : tokens) m.Match(*index, t.folded, t.wide, &got);
  const size_t before = g_allocations;
  for (const Token& t : tokens) m.Match(*index, t.folded, t.wide, &got);
  EXPECT_EQ(before, g_allocations.load());
}

TEST(NameIndex, SameRowsAsTheLiteralMatcherOnGeneratedCards) {
  const auto cards = MakeCards(2000, 7);
  const auto rows = RowsOf(cards);
  NameIndexBuilder b;
  for (const NamedAddress& r : rows) b.Add(r, UpperAscii(r.address));
  auto index = b.Build();
  const ReferenceMatcher reference(rows);
  ASSERT_EQ(reference.rows().size(), index->size());
  NameMatcher m;
  std::vector<uint32_t> got;
  size_t nonempty = 0;
  for (const Token& t : MakeTokens(cards, 1000, 11)) {
    m.Match(*index, t.folded, t.wide, &got);
    const std::vector<uint32_t> want = reference.Match(t.folded, t.wide);
    nonempty += !want.empty();
    ASSERT_EQ(want, got) << t.kind << " token " << Utf8(t.wide);
  }
  EXPECT_GT(nonempty, 700u) << "tokens that find something";
}

}  // namespace
