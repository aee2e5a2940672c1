// A byte search for the address-book readers, free of window calls.
#pragma once

#include <cstddef>
#include <cstring>

namespace vantrel {

// memchr, a machine word at a time. The C runtime's memchr is a byte loop on
// some platforms (Wine's msvcrt among them), and nearly all of the readers'
// time goes into these searches. Returns the first c in [p, end) or nullptr.
inline const char* FindByte(const char* p, const char* end, char c) {
  using Word = size_t;
  constexpr Word kOnes = ~Word(0) / 0xFF;
  constexpr Word kHighs = kOnes * 0x80;
  const Word pattern = kOnes * static_cast<unsigned char>(c);
  while (static_cast<size_t>(end - p) >= 2 * sizeof(Word)) {
    Word a, b;
    std::memcpy(&a, p, sizeof a);
    std::memcpy(&b, p + sizeof a, sizeof b);
    a ^= pattern;
    b ^= pattern;
    // Nonzero if a byte of a (or b) is zero, that is, a byte equals c.
    if (((a - kOnes) & ~a & kHighs) | ((b - kOnes) & ~b & kHighs)) break;
    p += 2 * sizeof(Word);
  }
  for (; p < end; ++p) {
    if (*p == c) return p;
  }
  return nullptr;
}

}  // namespace vantrel
