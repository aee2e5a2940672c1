// How the name mode reads UTF-16 text: one folding for names and tokens
// alike, and where words begin. Free of window calls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

// Replaces *out with `in` folded for matching:
//  - letters to lower case: ASCII, Latin-1, Latin Extended-A, basic Greek
//    and Cyrillic;
//  - full-width ASCII to ASCII, the ideographic and no-break spaces and
//    U+0000 to a blank;
//  - katakana to hiragana, half-width katakana to full width, and the
//    voiced-sound marks (half-width, spacing or combining) joined to the kana
//    before them (ｶﾞ, カ゛ -> が), so that every way of writing a kana
//    compares equal.
// Each output character comes from one or two input characters.
void FoldName(std::u16string_view in, std::u16string* out);

// Character kinds of folded text. Words are runs of one kind other than
// kSeparator: they split at blanks and punctuation, and where the kind
// changes (between Latin letters and other characters). Digits go with
// Latin letters, so a handle such as "zs1985" stays one word.
enum class CharKind { kSeparator, kLatin, kGreek, kCyrillic, kOther };
CharKind KindOf(char16_t c);

// True when a word starts at folded[i].
inline bool IsWordStart(std::u16string_view folded, size_t i) {
  const CharKind k = KindOf(folded[i]);
  if (k == CharKind::kSeparator) return false;
  return i == 0 || KindOf(folded[i - 1]) != k;
}

// Han characters: CJK Unified Ideographs, Extension A and the compatibility
// block, and the iteration mark 々.
inline bool IsHan(char16_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || c == 0x3005;
}

// Kana of folded text: hiragana, the prolonged sound mark ー, the kana
// iteration marks, and the few katakana without a hiragana twin.
inline bool IsKana(char16_t c) {
  return (c >= 0x3041 && c <= 0x309F) || c == 0x30FC || (c >= 0x30F7 && c <= 0x30FA);
}

}  // namespace vantrel
