#include "complete/name_reference.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "complete/name_index.h"
#include "complete/name_text.h"
#include "complete/pinyin.h"
#include "complete/romaji.h"
#include "complete/suggest_math.h"

namespace vantrel::testing {

std::string Utf8(std::u16string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf16(std::string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    uint32_t c;
    size_t n;
    if (b < 0x80) { c = b; n = 1; }
    else if (b < 0xE0) { c = b & 0x1F; n = 2; }
    else if (b < 0xF0) { c = b & 0x0F; n = 3; }
    else { c = b & 0x07; n = 4; }
    for (size_t k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (s[i + k] & 0x3F);
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

namespace {

struct Pair {
  const char16_t* name;
  const char16_t* reading;
};

const char16_t* const kLatinFirst[] = {
    u"Anna", u"Bob", u"Carol", u"David", u"Eve", u"Frank", u"Grace", u"Heidi", u"Ivan", u"Judy",
    u"Karl", u"Laura", u"Michael", u"Nina", u"Oscar", u"Peggy", u"Quentin", u"Rita", u"Sam",
    u"Trent", u"Ursula", u"Victor", u"Walter", u"Xavier", u"Yvonne", u"Zoe", u"Émile", u"Jürgen",
    u"Łukasz", u"Søren", u"Mary-Ann", u"Jean-Luc"};
const char16_t* const kLatinLast[] = {
    u"Smith", u"Johnson", u"Müller", u"Schmidt", u"García", u"Martin", u"Rossi", u"Novák",
    u"O'Brien", u"van der Berg", u"Dupont", u"Kowalski", u"Nguyen", u"Zhang", u"Wang", u"Li",
    u"Chen", u"Sato", u"Tanaka", u"Smith Jr.", u"Ødegaard", u"MacDonald", u"Shaw", u"Chang"};
const char16_t* const kNick[] = {u"Bobby", u"Liz", u"Tom", u"Max", u"小王", u"老李", u"Kenji",
                                 u"the boss", u"ZS", u"ユキ", u"Mimi"};
const char16_t* const kHanFamily[] = {
    u"张", u"王", u"李", u"赵", u"陈", u"刘", u"杨", u"黄", u"周", u"吴", u"曾", u"单", u"欧阳",
    u"司马", u"張", u"陳", u"趙", u"劉", u"吕", u"长孙", u"朱", u"郑", u"孙", u"马", u"胡",
    u"郭", u"何", u"高", u"罗", u"重", u"解", u"仇", u"区", u"查"};
const char16_t* const kHanGiven[] = {
    u"三", u"伟", u"芳", u"娜", u"敏", u"静", u"丽", u"强", u"磊", u"军", u"洋", u"勇", u"艳",
    u"杰", u"娟", u"涛", u"明", u"超", u"秀英", u"霞", u"平", u"刚", u"桂英", u"华", u"玉兰",
    u"长乐", u"行", u"朝阳", u"小明", u"建国", u"晓东", u"嘉怡", u"子轩", u"雨涵", u"浩然",
    u"國華", u"誌強", u"綠", u"女", u"乐乐"};
const Pair kJaFamily[] = {
    {u"山田", u"やまだ"}, {u"佐藤", u"さとう"}, {u"鈴木", u"すずき"}, {u"高橋", u"たかはし"},
    {u"田中", u"たなか"}, {u"伊藤", u"いとう"}, {u"渡辺", u"わたなべ"}, {u"中村", u"なかむら"},
    {u"小林", u"こばやし"}, {u"加藤", u"かとう"}, {u"吉田", u"よしだ"}, {u"山本", u"やまもと"},
    {u"斎藤", u"さいとう"}, {u"松本", u"まつもと"}, {u"井上", u"いのうえ"}, {u"木村", u"きむら"},
    {u"林", u"はやし"}, {u"清水", u"しみず"}, {u"池田", u"いけだ"}, {u"橋本", u"はしもと"},
    {u"石川", u"いしかわ"}, {u"藤田", u"ふじた"}, {u"後藤", u"ごとう"}, {u"大野", u"おおの"},
    {u"長谷川", u"はせがわ"}, {u"近藤", u"こんどう"}, {u"遠藤", u"えんどう"}, {u"服部", u"はっとり"},
    {u"新田", u"にった"}, {u"千葉", u"ちば"}, {u"土屋", u"つちや"}, {u"本田", u"ほんだ"}};
const Pair kJaGiven[] = {
    {u"太郎", u"たろう"}, {u"花子", u"はなこ"}, {u"翔太", u"しょうた"}, {u"恵", u"めぐみ"},
    {u"健一", u"けんいち"}, {u"由美", u"ゆみ"}, {u"大輔", u"だいすけ"}, {u"美咲", u"みさき"},
    {u"拓也", u"たくや"}, {u"直樹", u"なおき"}, {u"陽子", u"ようこ"}, {u"雄一", u"ゆういち"},
    {u"淳", u"じゅん"}, {u"千尋", u"ちひろ"}, {u"剛", u"つよし"}, {u"聡", u"さとし"},
    {u"涼", u"りょう"}, {u"修", u"おさむ"}, {u"純一郎", u"じゅんいちろう"}, {u"莉子", u"りこ"},
    {u"香織", u"かおり"}, {u"裕子", u"ゆうこ"}, {u"和也", u"かずや"}, {u"康平", u"こうへい"},
    {u"一茶", u"いっさ"}, {u"健太", u"けんた"}, {u"真央", u"まお"}, {u"京子", u"きょうこ"},
    {u"ケンジ", u"けんじ"}, {u"ジョー", u"じょー"}, {u"秀吉", u"ひでよし"}, {u"蝶", u"ちょう"}};
const char* const kDomains[] = {"example.com", "mail.cn", "qq.com", "corp.example.jp", "uni.edu"};

template <typename T, size_t N>
const T& Pick(std::mt19937& rng, const T (&a)[N]) {
  return a[rng() % N];
}

std::string Ascii(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) out += static_cast<char>(c | 0x20);
  }
  return out;
}

// A random way of writing hiragana: as it is (0), katakana (1), or
// half-width katakana (2), with separate voiced-sound marks.
std::u16string Rewrite(std::u16string_view kana, int how) {
  // Half-width spellings of hiragana, found by folding every half-width
  // kana with and without a mark.
  static const std::vector<std::u16string> half = [] {
    std::vector<std::u16string> h(0x60);
    std::u16string folded;
    for (const char16_t* mark : {u"", u"\uFF9E", u"\uFF9F"}) {
      for (char16_t c = 0xFF66; c <= 0xFF9D; ++c) {
        const std::u16string s = std::u16string(1, c) + mark;
        FoldName(s, &folded);
        if (folded.size() == 1 && folded[0] >= 0x3040 && folded[0] < 0x30A0 && h[folded[0] - 0x3040].empty())
          h[folded[0] - 0x3040] = s;
      }
    }
    return h;
  }();
  std::u16string out;
  for (char16_t c : kana) {
    if (how == 2 && c == 0x30FC) {
      out += u'\uFF70';
    } else if (how == 0 || c < 0x3041 || c > 0x3096) {
      out += c;
    } else if (how == 1 || half[c - 0x3040].empty()) {
      out += static_cast<char16_t>(c + 0x60);
    } else {
      out += half[c - 0x3040];
    }
  }
  return out;
}

}  // namespace

std::vector<Card> MakeCards(size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Card> cards;
  cards.reserve(count);
  std::vector<std::string> used;
  for (size_t i = 0; i < count; ++i) {
    Card c;
    const unsigned kind = rng() % 10;
    std::string user;
    if (kind < 5) {
      c.given = Pick(rng, kLatinFirst);
      c.family = Pick(rng, kLatinLast);
      c.fn = c.given + u" " + c.family;
      user = Ascii(c.given) + (rng() % 2 ? "." : "") + Ascii(c.family);
    } else if (kind < 8) {
      c.family = Pick(rng, kHanFamily);
      c.given = Pick(rng, kHanGiven);
      c.fn = rng() % 8 ? c.family + c.given : c.family + u" " + c.given;
      user = std::string(1, static_cast<char>('a' + rng() % 26)) +
             static_cast<char>('a' + rng() % 26);
    } else {
      const Pair& f = Pick(rng, kJaFamily);
      const Pair& g = Pick(rng, kJaGiven);
      c.family = f.name;
      c.given = g.name;
      c.fn = rng() % 2 ? c.family + c.given : c.family + u"\u3000" + c.given;
      if (rng() % 5) {
        const int how = static_cast<int>(rng() % 3);
        c.family_reading = Rewrite(f.reading, how);
        c.given_reading = Rewrite(g.reading, how);
      } else if (rng() % 2) {
        c.family_reading = u"Yamada";
      }
      user = Ascii(c.family_reading) + "jp";
    }
    if (rng() % 6 == 0) c.nickname = Pick(rng, kNick);
    if (rng() % 20 == 0) c.fn.clear();  // N only
    if (rng() % 50 == 0) c.fn = c.family = c.given = u"";  // no name at all
    const size_t addresses = 1 + rng() % 2;
    for (size_t a = 0; a < addresses; ++a) {
      std::string e;
      const unsigned form = rng() % 4;
      if (!used.empty() && rng() % 40 == 0) {
        e = UpperAscii(used[rng() % used.size()]);  // the same address again
      } else if (form == 0) {
        e = std::to_string(10000 + rng() % 90000000) + "@" + Pick(rng, kDomains);
      } else {
        e = (user.empty() ? "x" : user) + std::to_string(rng() % 2000) + "@" + Pick(rng, kDomains);
      }
      if (rng() % 3 == 0) e[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(e[0])));
      used.push_back(e);
      c.emails.push_back(e);
    }
    cards.push_back(std::move(c));
  }
  return cards;
}

std::vector<NamedAddress> RowsOf(const std::vector<Card>& cards) {
  std::vector<NamedAddress> rows;
  for (const Card& c : cards) {
    NamedAddress r;
    r.display_name = Utf8(c.fn.empty() ? c.family + (c.given.empty() ? u"" : u" " + c.given) : c.fn);
    for (const std::u16string* s : {&c.fn, &c.family, &c.given, &c.nickname})
      if (!s->empty()) r.names.push_back(*s);
    for (const std::u16string* s : {&c.family_reading, &c.given_reading})
      if (!s->empty()) r.readings.push_back(*s);
    for (const std::string& e : c.emails) {
      r.address = e;
      rows.push_back(r);
    }
  }
  return rows;
}

std::string VCardText(const std::vector<Card>& cards) {
  std::string out;
  for (const Card& c : cards) {
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    if (!c.fn.empty()) out += "FN:" + Utf8(c.fn) + "\r\n";
    out += "N:" + Utf8(c.family) + ";" + Utf8(c.given) + ";;;\r\n";
    if (!c.nickname.empty()) out += "NICKNAME:" + Utf8(c.nickname) + "\r\n";
    if (!c.family_reading.empty()) out += "X-PHONETIC-LAST-NAME:" + Utf8(c.family_reading) + "\r\n";
    if (!c.given_reading.empty()) out += "X-PHONETIC-FIRST-NAME:" + Utf8(c.given_reading) + "\r\n";
    for (const std::string& e : c.emails) out += "EMAIL;TYPE=INTERNET:" + e + "\r\n";
    out += "END:VCARD\r\n";
  }
  return out;
}

std::vector<Token> MakeTokens(const std::vector<Card>& cards, size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Token> tokens;
  auto add = [&](std::string kind, std::u16string wide) {
    if (wide.empty()) return;
    tokens.push_back({std::move(kind), wide, UpperAscii(Utf8(wide))});
  };
  auto cut = [&](std::u16string s) {
    if (s.size() > 1) s.resize(1 + rng() % s.size());
    return s;
  };
  auto random_case = [&](std::u16string s) {
    for (char16_t& c : s)
      if (c >= 'a' && c <= 'z' && rng() % 3 == 0) c = static_cast<char16_t>(c - 32);
    return s;
  };
  while (tokens.size() < count) {
    const unsigned kind = rng() % 11;
    // A card that has what the kind needs, if one of a few does.
    const Card* card = &cards[rng() % cards.size()];
    for (int tries = 0; tries < 20; ++tries) {
      const bool fits = (kind >= 2 && kind <= 5) ? IsHan(card->family[0])
                        : (kind == 6 || kind == 7) ? !card->family_reading.empty()
                        : kind == 10 ? !card->nickname.empty()
                                     : true;
      if (fits) break;
      card = &cards[rng() % cards.size()];
    }
    const Card& c = *card;
    const std::u16string han = IsHan(c.family[0]) ? c.family + c.given : u"";
    if (kind == 0) {
      add("word", random_case(cut(rng() % 2 ? c.family : c.given)));
    } else if (kind == 1) {
      add("address", random_case(cut(Utf16(c.emails[0]))));
    } else if (kind <= 5 && !han.empty()) {
      // Pinyin: whole, initials, mixed; at times a letter that does not fit.
      std::u16string t;
      for (char16_t h : han) {
        const PinyinReadings r = ReadingsOf(h);
        if (r.count == 0) break;
        std::string_view s = PinyinSyllable(r.ids[rng() % r.count]);
        size_t n = kind == 2 ? s.size() : kind == 3 ? 1 : 1 + rng() % s.size();
        for (size_t k = 0; k < n; ++k) t += static_cast<char16_t>(s[k] == 'v' && rng() % 2 ? 'u' : s[k]);
      }
      if (kind == 5) t += static_cast<char16_t>('a' + rng() % 26);
      // Now and then the syllables set apart, as names are romanised.
      if (rng() % 4 == 0 && t.size() > 1) t.insert(1 + rng() % (t.size() - 1), rng() % 2 ? u" " : u"'");
      add(kind == 2 ? "pinyin" : kind == 3 ? "initials" : "mixed pinyin", random_case(cut(t)));
    } else if (kind <= 7 && !c.family_reading.empty()) {
      std::u16string folded;
      FoldName(rng() % 2 ? c.family_reading : c.given_reading, &folded);
      if (kind == 6) {
        add("kana", cut(Rewrite(folded, static_cast<int>(rng() % 3))));
      } else {
        std::vector<std::string> spellings = RomajiSpellings(folded, 40);
        if (spellings.empty()) continue;
        add("romaji", random_case(cut(Utf16(spellings[rng() % spellings.size()]))));
      }
    } else if (kind == 8 && !c.fn.empty()) {
      add("name", cut(c.fn));
    } else if (kind == 9) {
      std::u16string t;
      for (size_t k = 1 + rng() % 3; k > 0; --k) t += static_cast<char16_t>('a' + rng() % 26);
      add("letters", t);
    } else if (kind == 10 && !c.nickname.empty()) {
      add("nickname", cut(c.nickname));
    }
  }
  return tokens;
}

// ---- the reference matcher ----

namespace {

void Enumerate(std::u16string_view run, size_t i, char vowel, const std::string& so_far,
               size_t max_length, std::set<std::string>* out) {
  if (so_far.size() >= max_length) {
    out->insert(so_far.substr(0, max_length));
    return;
  }
  if (i >= run.size()) {
    out->insert(so_far);
    return;
  }
  const RomajiUnit u = RomajiUnitAt(run, i, vowel);
  if (u.length == 0) {
    out->insert(so_far);
    return;
  }
  for (size_t k = 0; k < u.count; ++k)
    Enumerate(run, i + u.length, u.vowel, so_far + u.spellings[k], max_length, out);
  if (u.doubles_next && i + 1 < run.size()) {
    const RomajiUnit v = RomajiUnitAt(run, i + 1, u.vowel);
    if (v.length == 0 || v.doubles_next) return;
    for (size_t k = 0; k < v.count; ++k) {
      const std::string s = v.spellings[k];
      if (s.empty() || std::string("aiueo-'").find(s[0]) != std::string::npos) continue;
      Enumerate(run, i + 1 + v.length, v.vowel, so_far + s[0] + s, max_length, out);
      if (s.compare(0, 2, "ch") == 0)
        Enumerate(run, i + 1 + v.length, v.vowel, so_far + 't' + s, max_length, out);
    }
  }
}

// Literal pinyin: some syllable of name[i] begins with token[0, k) for some
// k, and the rest of the token is pinyin from name[i + 1].
bool PinyinFrom(std::u16string_view name, size_t i, std::string_view token) {
  if (token.empty()) return true;
  // Syllables set apart: the next piece starts after the separator.
  if (token[0] == ' ' || token[0] == '\'') return PinyinFrom(name, i, token.substr(1));
  if (i >= name.size()) return false;
  const PinyinReadings r = ReadingsOf(name[i]);
  for (size_t s = 0; s < r.count; ++s) {
    const std::string_view syllable = PinyinSyllable(r.ids[s]);
    for (size_t k = 1; k <= syllable.size() && k <= token.size(); ++k) {
      const char t = token[k - 1], y = syllable[k - 1];
      if (!(t == y || (y == 'v' && t == 'u'))) break;
      if (PinyinFrom(name, i + 1, token.substr(k))) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> RomajiSpellings(std::u16string_view run, size_t max_length) {
  std::set<std::string> out;
  Enumerate(run, 0, 0, "", max_length, &out);
  return std::vector<std::string>(out.begin(), out.end());
}

ReferenceMatcher::ReferenceMatcher(const std::vector<NamedAddress>& rows) {
  std::unordered_set<std::string> seen;
  for (const NamedAddress& r : rows) {
    const std::string folded = UpperAscii(r.address);
    if (!seen.insert(folded).second) continue;
    rows_.push_back(r);
    folded_addresses_.push_back(folded);
    std::vector<Spelled> names;
    for (const auto* list : {&r.names, &r.readings}) {
      for (const std::u16string& n : *list) {
        if (names.size() == kMaxNamesPerRow) break;
        Spelled s;
        FoldName(n.substr(0, kMaxNameLength), &s.name);
        for (size_t i = 0; i < s.name.size(); ++i) {
          if (!IsWordStart(s.name, i)) continue;
          if (IsHan(s.name[i])) s.han_starts.push_back(i);
          if (IsKana(s.name[i])) s.romaji.push_back(RomajiSpellings(s.name.substr(i), kMaxSpelledToken));
        }
        names.push_back(std::move(s));
      }
    }
    names_.push_back(std::move(names));
  }
}

std::vector<uint32_t> ReferenceMatcher::Match(std::string_view folded_token,
                                              std::u16string_view wide_token) const {
  std::u16string token;
  FoldName(wide_token, &token);
  // The token as pinyin and as romaji, when it is spelled in Latin letters.
  std::string pinyin, romaji;
  bool is_pinyin = !token.empty() && token.size() <= kMaxSpelledToken;
  bool is_romaji = is_pinyin && token[0] >= 'a' && token[0] <= 'z';
  for (char16_t c : token) {
    const bool letter = c >= 'a' && c <= 'z';
    if (letter || c == 0xFC) pinyin += letter ? static_cast<char>(c) : 'v';
    else if (c == ' ' || c == '\'') pinyin += static_cast<char>(c);
    else is_pinyin = false;
    if (letter || c == '-' || c == '\'') romaji += static_cast<char>(c);
    else is_romaji = false;
  }
  // Pinyin needs a letter: separators alone spell nothing.
  if (pinyin.find_first_not_of(" '") == std::string::npos) is_pinyin = false;
  std::vector<uint32_t> out;
  for (uint32_t row = 0; row < rows_.size(); ++row) {
    bool match = folded_addresses_[row].compare(0, folded_token.size(), folded_token) == 0 &&
                 folded_addresses_[row].size() >= folded_token.size();
    for (const Spelled& s : names_[row]) {
      if (match) break;
      for (size_t i = 0; i < s.name.size() && !match && !token.empty(); ++i)
        match = IsWordStart(s.name, i) && s.name.compare(i, token.size(), token) == 0;
      for (size_t i = 0; i < s.han_starts.size() && !match && is_pinyin; ++i)
        match = PinyinFrom(s.name, s.han_starts[i], pinyin);
      for (size_t i = 0; i < s.romaji.size() && !match && is_romaji; ++i) {
        for (const std::string& spelling : s.romaji[i]) {
          if (spelling.compare(0, romaji.size(), romaji) == 0 && spelling.size() >= romaji.size()) {
            match = true;
            break;
          }
        }
      }
    }
    if (match) out.push_back(row);
  }
  std::stable_sort(out.begin(), out.end(), [this](uint32_t a, uint32_t b) {
    return CompareNoCaseC(rows_[a].address, rows_[b].address) < 0;
  });
  return out;
}

}  // namespace vantrel::testing
