// A byte search for the address-book readers, free of window calls.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#define VANTREL_FIND_BYTE_SSE2 1
#endif

namespace vantrel {

// memchr, a machine word at a time. The C runtime's memchr is a byte loop on
// some platforms (Wine's msvcrt among them), and nearly all of the readers'
// time goes into these searches. Returns the first c in [p, end) or nullptr.
// Lines are short (a few dozen bytes), so the word that holds c gives its
// place directly rather than through a byte loop.
inline const char* FindByteByWords(const char* p, const char* end, char c) {
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

#ifdef VANTREL_FIND_BYTE_SSE2
// Sixteen bytes at a time. The 32-bit build does not assume SSE2 of the
// processor, so the function carries its own target and is chosen at run
// time; a 32-bit word at a time is a quarter of the pace.
__attribute__((target("sse2"))) inline const char* FindByteSse2(const char* p, const char* end,
                                                                char c) {
  const __m128i pattern = _mm_set1_epi8(c);
  while (end - p >= 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, pattern)));
    if (mask) return p + __builtin_ctz(mask);
    p += 16;
  }
  for (; p < end; ++p) {
    if (*p == c) return p;
  }
  return nullptr;
}

inline bool HaveSse2() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0;
}

inline const bool kHaveSse2 = HaveSse2();
#endif

inline const char* FindByte(const char* p, const char* end, char c) {
#ifdef VANTREL_FIND_BYTE_SSE2
#ifdef __SSE2__
  return FindByteSse2(p, end, c);
#else
  if (kHaveSse2) return FindByteSse2(p, end, c);
#endif
#endif
  return FindByteByWords(p, end, c);
}

}  // namespace vantrel
