#include "complete/pinyin.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

namespace {
#include "complete/pinyin_table.inc"
}  // namespace

PinyinReadings ReadingsOf(char16_t c) {
  if (c < kPinyinFirst || c > kPinyinLast) return {nullptr, 0};
  const uint16_t set = kPinyinSetOf[c - kPinyinFirst];
  return {kPinyinSetMembers + kPinyinSetStart[set],
          static_cast<size_t>(kPinyinSetStart[set + 1] - kPinyinSetStart[set])};
}

std::string_view PinyinSyllable(uint16_t id) {
  const char* s = kPinyinSyllables[id];
  return std::string_view(s, strnlen(s, sizeof kPinyinSyllables[0]));
}

size_t PinyinSyllableCount() { return kPinyinSyllableCount; }

size_t PinyinTableBytes() {
  return sizeof kPinyinSyllables + sizeof kPinyinSetStart + sizeof kPinyinSetMembers +
         sizeof kPinyinSetOf;
}

uint64_t PinyinStep(char16_t c, std::string_view token, uint64_t reach, bool* done) {
  const PinyinReadings r = ReadingsOf(c);
  const size_t n = token.size();
  uint64_t next = 0;
  for (uint64_t bits = reach; bits; bits &= bits - 1) {
    size_t p = static_cast<size_t>(__builtin_ctzll(bits));
    // The piece before ended at a separator: this one starts after it. A
    // separator matches no syllable letter, so no piece runs across one.
    if (p < n && token[p] == kPinyinSeparator) ++p;
    for (size_t k = 0; k < r.count; ++k) {
      const char* s = kPinyinSyllables[r.ids[k]];
      size_t q = p;
      while (q < n && *s && (token[q] == *s || (*s == 'v' && token[q] == 'u'))) {
        ++q;
        ++s;
        next |= uint64_t{1} << q;
      }
      if (q == n && q > p) {
        *done = true;
        return next;
      }
    }
  }
  return next;
}

bool PinyinMatches(std::u16string_view run, std::string_view token) {
  if (token.empty()) return true;
  if (token.size() > kMaxSpelledToken) return false;
  uint64_t reach = 1;
  bool done = false;
  for (char16_t c : run) {
    reach = PinyinStep(c, token, reach, &done);
    if (done) return true;
    if (!reach) return false;
  }
  return false;
}

namespace {

// Bits of the token letters that match the syllable letter c (u also for v).
inline uint32_t TokenLetters(char c) {
  uint32_t bits = 1u << (c - 'a');
  if (c == 'v') bits |= 1u << ('u' - 'a');
  return bits;
}

}  // namespace

void PinyinHeads(std::u16string_view run, uint32_t* first, uint32_t* second) {
  *first = 0;
  std::fill(second, second + 26, 0u);
  if (run.empty()) return;
  const PinyinReadings r = ReadingsOf(run[0]);
  // A one-letter piece for the first character, then any letter that
  // begins a syllable of the second.
  uint32_t after = 0;
  if (r.count && run.size() > 1) {
    const PinyinReadings r1 = ReadingsOf(run[1]);
    for (size_t k = 0; k < r1.count; ++k) after |= TokenLetters(kPinyinSyllables[r1.ids[k]][0]);
  }
  for (size_t k = 0; k < r.count; ++k) {
    const char* s = kPinyinSyllables[r.ids[k]];
    const uint32_t heads = TokenLetters(s[0]);
    *first |= heads;
    const uint32_t seconds = (s[1] ? TokenLetters(s[1]) : 0) | after;
    for (int l = 0; l < 26; ++l) {
      if ((heads >> l) & 1) second[l] |= seconds;
    }
  }
}

}  // namespace vantrel
