// Romaji for kana readings: the ways a reading may be typed in Latin
// letters, and matching a typed token against them. Free of window calls.
//
// A run of (folded, hiragana) kana is read as units: a kana, or a kana and
// the small ゃゅょ or small vowel after it (きゃ, しゃ, ふぁ). Each unit has
// its spellings in Hepburn and Kunrei forms and the common IME variants
// (し shi/si, ち chi/ti, つ tsu/tu, ふ fu/hu, じ ji/zi, しゃ sha/sya,
// ちゃ cha/tya/cya, じゃ ja/zya/jya). Long vowels are typed as the user
// likes: う after an o-sound as "u", "o" or nothing, お after an o-sound as
// "o" or nothing, う after a u-sound as "u" or nothing, and the long mark ー
// as the vowel before it (also "u" after o), "-" or nothing. The small っ
// doubles the next consonant ("tchi" too) or is spelled xtu/ltu/xtsu/ltsu;
// ん is "n", "nn" or "n'". A token matches a run when it is the start of
// one of the run's spellings.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantrel {

struct RomajiUnit {
  size_t length = 0;  // kana characters read; 0: none here can be spelled
  const char* const* spellings = nullptr;
  size_t count = 0;
  // っ: besides its own spellings, it may be spelled as the first letter of
  // the next unit's spelling (and "t" before "ch").
  bool doubles_next = false;
  // The vowel a following long mark repeats ('a', 'i', 'u', 'e', 'o'), 'n'
  // after ん, 0 at the start.
  char vowel = 0;
};

// The unit at run[i] (i < run.size()), after a unit ending in `prev_vowel`.
RomajiUnit RomajiUnitAt(std::u16string_view run, size_t i, char prev_vowel);

// True when `token` (a-z, '-' and '\'', at most kMaxSpelledToken) begins one
// of the spellings of the kana at the start of `run` (the run ends at the
// first character that cannot be spelled). An empty token matches.
bool RomajiMatches(std::u16string_view run, std::string_view token);

// The tokens of one and two characters that RomajiMatches(run, ...)
// accepts, first a letter: bit l of *first for the token 'a' + l, and in
// second[l] (26 entries, filled here) bit m for the second character
// 'a' + m, bit kRomajiDash for '-' and bit kRomajiApostrophe for '\''.
constexpr int kRomajiDash = 26;
constexpr int kRomajiApostrophe = 27;
// The bit of a token character in those sets; -1 for any other.
constexpr int RomajiCharBit(char c) {
  return c >= 'a' && c <= 'z' ? c - 'a'
         : c == '-'           ? kRomajiDash
         : c == '\''          ? kRomajiApostrophe
                              : -1;
}
void RomajiHeads(std::u16string_view run, uint32_t* first, uint32_t* second);

}  // namespace vantrel
