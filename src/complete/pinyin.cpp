#include "complete/pinyin.h"

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

bool PinyinMatches(std::u16string_view run, std::string_view token) {
  const size_t n = token.size();
  if (n == 0) return true;
  if (n > kMaxSpelledToken) return false;
  // reach: the token positions at which some split of the token so far ends
  // after the characters read (bit p: token[0, p) is spelled). Each
  // character moves every reached position on by one piece.
  uint64_t reach = 1;
  for (char16_t c : run) {
    const PinyinReadings r = ReadingsOf(c);
    if (r.count == 0) return false;
    uint64_t next = 0;
    for (uint64_t bits = reach; bits; bits &= bits - 1) {
      const size_t p = static_cast<size_t>(__builtin_ctzll(bits));
      for (size_t k = 0; k < r.count; ++k) {
        const char* s = kPinyinSyllables[r.ids[k]];
        size_t q = p;
        while (q < n && *s && (token[q] == *s || (*s == 'v' && token[q] == 'u'))) {
          ++q;
          ++s;
          next |= uint64_t{1} << q;
        }
        if (q == n && q > p) return true;
      }
    }
    if (!next) return false;
    reach = next;
  }
  return false;
}

}  // namespace vantrel
