// Pinyin of Han characters and matching a typed run of syllables against
// a name written in them. Free of window calls.
//
// The readings come from a table generated from the Unihan database
// (scripts/gen_pinyin.py): every reading of a character, without tones,
// ü written v. A token is pinyin for a run of Han characters when it splits
// into pieces, one per character from the run's start, each the whole or
// the start of one of that character's syllables: 张三 is matched by
// "zhangsan", "zhangs", "zs", "zhs" and "zsan", not by "zhangx". A "u" in
// the token also stands for the v (ü) of lü and nü, which keyboards lack.
// Syllables may be set apart as names are romanised and pinyin is typed to
// tell xi'an from xian: "zhang san", "zhang'san", "z s" are matched with
// the separator between two pieces, never inside one ("zha ng" is not
// 张).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantrel {

// The syllables of one character: ids into PinyinSyllable().
struct PinyinReadings {
  const uint16_t* ids;
  size_t count;
};

PinyinReadings ReadingsOf(char16_t c);  // count 0 when it has none
std::string_view PinyinSyllable(uint16_t id);
size_t PinyinSyllableCount();
// The bytes of the generated table's arrays.
size_t PinyinTableBytes();

// The longest token that is tried as pinyin or romaji: a name's spelling
// is rarely a third of that.
constexpr size_t kMaxSpelledToken = 63;

// Between two pieces of a token: a blank or an apostrophe as typed.
constexpr char kPinyinSeparator = '\'';

// True when `token` (lower-case ASCII letters, at most kMaxSpelledToken,
// single kPinyinSeparator between letters) is pinyin for the Han characters
// at the start of `run` (the run ends at the first character without a
// reading). An empty token matches.
bool PinyinMatches(std::u16string_view run, std::string_view token);

// One character of PinyinMatches: `reach` has bit p when token[0, p) is
// spelled by the characters before c (bit 0 at the start); returns the
// positions spelled after c, and sets *done when the token ends within one
// of c's syllables (a match). `token` as for PinyinMatches, not empty.
uint64_t PinyinStep(char16_t c, std::string_view token, uint64_t reach, bool* done);

// The tokens of one and two letters that PinyinMatches(run, ...) accepts:
// bit l of *first for the token 'a' + l, bit m of second[l] for the token
// 'a' + l, 'a' + m (second[] has 26 entries and is filled here).
void PinyinHeads(std::u16string_view run, uint32_t* first, uint32_t* second);

}  // namespace vantrel
