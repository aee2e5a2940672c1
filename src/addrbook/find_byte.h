// A byte search for the address-book readers, free of window calls.
#pragma once

#include <cstddef>
#include <cstring>

namespace vantrel {

// memchr, a machine word at a time. The C runtime's memchr is a byte loop on
// some platforms (Wine's msvcrt among them), and nearly all of the readers'
// time goes into these searches. Returns the first c in [p, end) or nullptr.
// Lines are short (a few dozen bytes), so the word that holds c gives its
// place directly rather than through a byte loop.
inline const char* FindByte(const char* p, const char* end, char c) {
  using Word = size_t;
  constexpr Word kOnes = ~Word(0) / 0xFF;
  constexpr Word kHighs = kOnes * 0x80;
  const Word pattern = kOnes * static_cast<unsigned char>(c);
  while (static_cast<size_t>(end - p) >= sizeof(Word)) {
    Word a;
    std::memcpy(&a, p, sizeof a);
    a ^= pattern;
    // The lowest set high bit marks the first byte equal to c (bytes above
    // it may be marked wrongly; those below never are). Little-endian: the
    // first byte is the lowest.
    const Word zero = (a - kOnes) & ~a & kHighs;
    if (zero) {
      if (sizeof(Word) == 8) {
        return p + __builtin_ctzll(static_cast<unsigned long long>(zero)) / 8;
      }
      return p + __builtin_ctz(static_cast<unsigned>(zero)) / 8;
    }
    p += sizeof(Word);
  }
  for (; p < end; ++p) {
    if (*p == c) return p;
  }
  return nullptr;
}

}  // namespace vantrel
