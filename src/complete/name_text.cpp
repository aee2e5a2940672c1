#include "complete/name_text.h"

namespace vantrel {

namespace {

// Full-width katakana for the half-width ones U+FF66..U+FF9D, in order.
constexpr char16_t kHalfWidthKana[] =
    u"ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモ"
    u"ヤユヨラリルレロワン";
static_assert(sizeof kHalfWidthKana / sizeof kHalfWidthKana[0] == 0xFF9D - 0xFF66 + 2,
              "one full-width kana per half-width one");

char16_t LowerCase(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return u'i';
    if (c == 0x178) return 0xFF;
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool even_upper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (odd_upper && (c & 1)) return static_cast<char16_t>(c + 1);
    if (even_upper && !(c & 1)) return static_cast<char16_t>(c + 1);
    return c;
  }
  if (c >= 0x386 && c <= 0x3A9) {
    if (c >= 0x391 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 0x25);
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 0x3F);
    return c;
  }
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  return c;
}

// Folds one character on its own (no voiced-sound marks).
char16_t FoldOne(char16_t c) {
  if (c == 0 || c == 0x3000 || c == 0xA0) return u' ';
  if (c >= 0xFF01 && c <= 0xFF5E) return LowerCase(static_cast<char16_t>(c - 0xFF01 + 0x21));
  if (c >= 0x30A1 && c <= 0x30F6) return static_cast<char16_t>(c - 0x60);
  if (c == 0x30FD || c == 0x30FE) return static_cast<char16_t>(c - 0x60);
  if (c >= 0xFF61 && c <= 0xFF65) {
    static constexpr char16_t kPunct[] = {0x3002, 0x300C, 0x300D, 0x3001, 0x30FB};
    return kPunct[c - 0xFF61];
  }
  if (c >= 0xFF66 && c <= 0xFF9D) return FoldOne(kHalfWidthKana[c - 0xFF66]);
  return LowerCase(c);
}

// The hiragana `c` with a voiced (semi = false) or semi-voiced mark, or 0.
char16_t Voiced(char16_t c, bool semi) {
  if (semi) return (c >= 0x306F && c <= 0x307B && (c - 0x306F) % 3 == 0) ? c + 2 : 0;
  if ((c >= 0x304B && c <= 0x3061 && (c & 1)) || c == 0x3064 || c == 0x3066 || c == 0x3068)
    return static_cast<char16_t>(c + 1);
  if (c >= 0x306F && c <= 0x307B && (c - 0x306F) % 3 == 0) return static_cast<char16_t>(c + 1);
  if (c == 0x3046) return 0x3094;
  if (c == 0x309D) return 0x309E;
  return 0;
}

}  // namespace

void FoldName(std::u16string_view in, std::u16string* out) {
  out->clear();
  for (char16_t c : in) {
    const bool voiced_mark = c == 0x3099 || c == 0x309B || c == 0xFF9E;
    const bool semi_mark = c == 0x309A || c == 0x309C || c == 0xFF9F;
    if (voiced_mark || semi_mark) {
      const char16_t joined = out->empty() ? 0 : Voiced(out->back(), semi_mark);
      if (joined) {
        out->back() = joined;
      } else {
        out->push_back(semi_mark ? 0x309C : 0x309B);
      }
      continue;
    }
    out->push_back(FoldOne(c));
  }
}

CharKind KindOf(char16_t c) {
  if (c < 0x80) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      return CharKind::kLatin;
    return CharKind::kSeparator;
  }
  if (c < 0xC0 || c == 0xD7 || c == 0xF7) return CharKind::kSeparator;
  // Latin letters, IPA, modifier letters and combining accents (an accent
  // written apart stays in its word).
  if (c <= 0x36F || (c >= 0x1E00 && c <= 0x1EFF)) return CharKind::kLatin;
  if (c >= 0x370 && c <= 0x3FF) return CharKind::kGreek;
  if (c >= 0x400 && c <= 0x4FF) return CharKind::kCyrillic;
  if (c >= 0x2000 && c <= 0x206F) return CharKind::kSeparator;
  if (c >= 0x3000 && c <= 0x303F && c != 0x3005 && c != 0x3006 && c != 0x3007)
    return CharKind::kSeparator;
  if (c == 0x30FB || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF65))
    return CharKind::kSeparator;
  return CharKind::kOther;
}

}  // namespace vantrel
