#include "complete/romaji.h"

#include <cstdint>

#include "complete/pinyin.h"

namespace vantrel {

namespace {

// Spellings of the hiragana U+3041..U+3096 on their own (null-padded).
constexpr char16_t kFirstKana = 0x3041;
const char* const kKana[][4] = {
    {"a", "xa", "la"}, {"a"}, {"i", "xi", "li"}, {"i"}, {"u", "xu", "lu"}, {"u"},  // ぁ..う
    {"e", "xe", "le"}, {"e"}, {"o", "xo", "lo"}, {"o"},                            // ぇ..お
    {"ka"}, {"ga"}, {"ki"}, {"gi"}, {"ku"}, {"gu"}, {"ke"}, {"ge"}, {"ko"}, {"go"},
    {"sa"}, {"za"}, {"shi", "si"}, {"ji", "zi"}, {"su"}, {"zu"}, {"se"}, {"ze"}, {"so"}, {"zo"},
    {"ta"}, {"da"}, {"chi", "ti"}, {"ji", "di", "zi"},                           // た..ぢ
    {"xtu", "ltu", "xtsu", "ltsu"},                                                // っ
    {"tsu", "tu"}, {"zu", "du"}, {"te"}, {"de"}, {"to"}, {"do"},                  // つ..ど
    {"na"}, {"ni"}, {"nu"}, {"ne"}, {"no"},                                        // な..の
    {"ha"}, {"ba"}, {"pa"}, {"hi"}, {"bi"}, {"pi"}, {"fu", "hu"}, {"bu"}, {"pu"},  // は..ぷ
    {"he"}, {"be"}, {"pe"}, {"ho"}, {"bo"}, {"po"},                                // へ..ぽ
    {"ma"}, {"mi"}, {"mu"}, {"me"}, {"mo"},                                        // ま..も
    {"ya", "xya", "lya"}, {"ya"}, {"yu", "xyu", "lyu"}, {"yu"}, {"yo", "xyo", "lyo"}, {"yo"},
    {"ra"}, {"ri"}, {"ru"}, {"re"}, {"ro"},                                        // ら..ろ
    {"wa", "xwa", "lwa"}, {"wa"}, {"i", "wi"}, {"e", "we"}, {"o", "wo"},           // ゎ..を
    {"n", "nn", "n'"},                                                             // ん
    {"vu"}, {"ka", "xka"}, {"ke", "xke"},                                          // ゔ ゕ ゖ
};
static_assert(sizeof kKana / sizeof kKana[0] == 0x3096 - 0x3041 + 1, "one row per kana");
constexpr char16_t kSmallTsu = 0x3063;

// A kana with the small kana after it, read as one syllable.
struct Combo {
  char16_t base, small;
  const char* spellings[4];
};
const Combo kCombos[] = {
    {u'き', u'ゃ', {"kya"}}, {u'き', u'ゅ', {"kyu"}}, {u'き', u'ょ', {"kyo"}},
    {u'ぎ', u'ゃ', {"gya"}}, {u'ぎ', u'ゅ', {"gyu"}}, {u'ぎ', u'ょ', {"gyo"}},
    {u'し', u'ゃ', {"sha", "sya"}}, {u'し', u'ゅ', {"shu", "syu"}}, {u'し', u'ょ', {"sho", "syo"}},
    {u'し', u'ぇ', {"she", "sye"}},
    {u'じ', u'ゃ', {"ja", "zya", "jya"}}, {u'じ', u'ゅ', {"ju", "zyu", "jyu"}},
    {u'じ', u'ょ', {"jo", "zyo", "jyo"}}, {u'じ', u'ぇ', {"je", "zye", "jye"}},
    {u'ち', u'ゃ', {"cha", "tya", "cya"}}, {u'ち', u'ゅ', {"chu", "tyu", "cyu"}},
    {u'ち', u'ょ', {"cho", "tyo", "cyo"}}, {u'ち', u'ぇ', {"che", "tye", "cye"}},
    {u'ぢ', u'ゃ', {"ja", "dya", "zya"}}, {u'ぢ', u'ゅ', {"ju", "dyu", "zyu"}},
    {u'ぢ', u'ょ', {"jo", "dyo", "zyo"}},
    {u'に', u'ゃ', {"nya"}}, {u'に', u'ゅ', {"nyu"}}, {u'に', u'ょ', {"nyo"}},
    {u'ひ', u'ゃ', {"hya"}}, {u'ひ', u'ゅ', {"hyu"}}, {u'ひ', u'ょ', {"hyo"}},
    {u'び', u'ゃ', {"bya"}}, {u'び', u'ゅ', {"byu"}}, {u'び', u'ょ', {"byo"}},
    {u'ぴ', u'ゃ', {"pya"}}, {u'ぴ', u'ゅ', {"pyu"}}, {u'ぴ', u'ょ', {"pyo"}},
    {u'み', u'ゃ', {"mya"}}, {u'み', u'ゅ', {"myu"}}, {u'み', u'ょ', {"myo"}},
    {u'り', u'ゃ', {"rya"}}, {u'り', u'ゅ', {"ryu"}}, {u'り', u'ょ', {"ryo"}},
    {u'ふ', u'ぁ', {"fa"}}, {u'ふ', u'ぃ', {"fi"}}, {u'ふ', u'ぇ', {"fe"}}, {u'ふ', u'ぉ', {"fo"}},
    {u'て', u'ぃ', {"ti", "thi"}}, {u'で', u'ぃ', {"di", "dhi"}},
    {u'う', u'ぃ', {"wi"}}, {u'う', u'ぇ', {"we"}}, {u'う', u'ぉ', {"wo"}},
    {u'ゔ', u'ぁ', {"va"}}, {u'ゔ', u'ぃ', {"vi"}}, {u'ゔ', u'ぇ', {"ve"}}, {u'ゔ', u'ぉ', {"vo"}},
};

// Long vowels, as the user may type them.
const char* const kLongOU[4] = {"u", "o", ""};    // う after an o-sound
const char* const kLongUU[4] = {"u", ""};         // う after a u-sound
const char* const kLongOO[4] = {"o", ""};         // お after an o-sound
const char* const kMarkA[4] = {"a", "-", ""};     // ー after each vowel
const char* const kMarkI[4] = {"i", "-", ""};
const char* const kMarkU[4] = {"u", "-", ""};
const char* const kMarkE[4] = {"e", "-", ""};
const char* const kMarkO[4] = {"o", "u", "-", ""};
const char* const kMarkOther[4] = {"-", ""};

size_t CountOf(const char* const* s) {
  size_t n = 0;
  while (n < 4 && s[n]) ++n;
  return n;
}

char LastLetter(const char* s) {
  char last = 0;
  for (; *s; ++s) last = *s;
  return last;
}

bool IsVowel(char c) { return c == 'a' || c == 'i' || c == 'u' || c == 'e' || c == 'o'; }

}  // namespace

RomajiUnit RomajiUnitAt(std::u16string_view run, size_t i, char prev_vowel) {
  RomajiUnit u;
  const char16_t c = run[i];
  if (c == 0x30FC) {
    u.length = 1;
    u.vowel = prev_vowel;
    switch (prev_vowel) {
      case 'a': u.spellings = kMarkA; break;
      case 'i': u.spellings = kMarkI; break;
      case 'u': u.spellings = kMarkU; break;
      case 'e': u.spellings = kMarkE; break;
      case 'o': u.spellings = kMarkO; break;
      default: u.spellings = kMarkOther; break;
    }
    u.count = CountOf(u.spellings);
    return u;
  }
  if (c < kFirstKana || c > 0x3096) return u;
  if (i + 1 < run.size()) {
    for (const Combo& k : kCombos) {
      if (k.base == c && k.small == run[i + 1]) {
        u.length = 2;
        u.spellings = k.spellings;
        u.count = CountOf(k.spellings);
        u.vowel = LastLetter(k.spellings[0]);
        return u;
      }
    }
  }
  u.length = 1;
  u.spellings = kKana[c - kFirstKana];
  if (c == u'う' && prev_vowel == 'o') u.spellings = kLongOU;
  if (c == u'う' && prev_vowel == 'u') u.spellings = kLongUU;
  if (c == u'お' && prev_vowel == 'o') u.spellings = kLongOO;
  u.count = CountOf(u.spellings);
  u.doubles_next = c == kSmallTsu;
  u.vowel = u.doubles_next ? 0 : LastLetter(kKana[c - kFirstKana][0]);
  return u;
}

namespace {

// Moves every reached token position over one spelling. True when the token
// ends inside (or right at the end of) a spelling: a match.
inline bool Step(std::string_view token, uint64_t reach, const char* spelling, char doubled,
                 uint64_t* next) {
  const size_t n = token.size();
  for (uint64_t bits = reach; bits; bits &= bits - 1) {
    size_t q = static_cast<size_t>(__builtin_ctzll(bits));
    if (doubled) {
      if (token[q] != doubled) continue;
      if (++q == n) return true;
    }
    const char* s = spelling;
    while (q < n && *s && token[q] == *s) {
      ++q;
      ++s;
    }
    if (q == n) return true;
    if (!*s) *next |= uint64_t{1} << q;
  }
  return false;
}

// っ (`u` at run[i], doubles_next) spelled as the first letter of the next
// unit's consonant spellings, and "t" before "ch": calls
// visit(next_unit, spelling, doubled letter) for each, and stops at the
// first that returns true (and returns true then).
template <typename Visit>
bool ForEachDoubled(std::u16string_view run, size_t i, const RomajiUnit& u, Visit visit) {
  if (!u.doubles_next || i + 1 >= run.size()) return false;
  const RomajiUnit v = RomajiUnitAt(run, i + 1, u.vowel);
  if (!v.length || v.doubles_next) return false;
  for (size_t k = 0; k < v.count; ++k) {
    const char* s = v.spellings[k];
    if (!*s || IsVowel(s[0]) || s[0] == '-' || s[0] == '\'') continue;
    if (visit(v, s, s[0])) return true;
    if (s[0] == 'c' && s[1] == 'h' && visit(v, s, 't')) return true;
  }
  return false;
}

}  // namespace

bool RomajiMatches(std::u16string_view run, std::string_view token) {
  if (token.empty()) return true;
  if (token.size() > kMaxSpelledToken) return false;
  // reach: token positions spelled up to the unit at i; pending: positions
  // spelled up to the end of the unit after it (through a doubling っ).
  uint64_t reach = 1, pending = 0;
  char vowel = 0;
  for (size_t i = 0; i < run.size() && (reach | pending);) {
    const RomajiUnit u = RomajiUnitAt(run, i, vowel);
    if (u.length == 0) return false;
    uint64_t next = pending;
    pending = 0;
    for (size_t k = 0; k < u.count; ++k) {
      if (Step(token, reach, u.spellings[k], 0, &next)) return true;
    }
    if (ForEachDoubled(run, i, u, [&](const RomajiUnit&, const char* s, char doubled) {
          return Step(token, reach, s, doubled, &pending);
        })) {
      return true;
    }
    reach = next;
    vowel = u.vowel;
    i += u.length;
  }
  return false;
}

namespace {

// Records the first two characters of every spelling that begins with
// `so_far` (at most two characters) followed by the kana from run[i].
void Heads(std::u16string_view run, size_t i, char vowel, const char* so_far, size_t have,
           uint32_t* first, uint32_t* second) {
  if (have >= 1) {
    const int a = RomajiCharBit(so_far[0]);
    if (a < 0 || a >= 26) return;  // not a token that is tried as romaji
    *first |= 1u << a;
    if (have >= 2) {
      const int b = RomajiCharBit(so_far[1]);
      if (b >= 0) second[a] |= 1u << b;
      return;
    }
  }
  if (i >= run.size()) return;
  const RomajiUnit u = RomajiUnitAt(run, i, vowel);
  if (u.length == 0) return;
  auto with = [&](const char* spelling, char doubled, size_t next_i, char next_vowel) {
    char buf[2];
    size_t n = have;
    for (size_t k = 0; k < have; ++k) buf[k] = so_far[k];
    if (doubled && n < 2) buf[n++] = doubled;
    for (const char* s = spelling; *s && n < 2; ++s) buf[n++] = *s;
    Heads(run, next_i, next_vowel, buf, n, first, second);
  };
  for (size_t k = 0; k < u.count; ++k) with(u.spellings[k], 0, i + u.length, u.vowel);
  ForEachDoubled(run, i, u, [&](const RomajiUnit& v, const char* s, char doubled) {
    with(s, doubled, i + 1 + v.length, v.vowel);
    return false;
  });
}

}  // namespace

void RomajiHeads(std::u16string_view run, uint32_t* first, uint32_t* second) {
  *first = 0;
  for (int l = 0; l < 26; ++l) second[l] = 0;
  Heads(run, 0, 0, "", 0, first, second);
}

}  // namespace vantrel
