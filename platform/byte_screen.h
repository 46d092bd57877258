// Sixteen-byte screening where the processor has the instructions for it,
// so that the log code scans most lines without a branch per byte and holds
// no processor test of its own.

#ifndef TOVEX_PLATFORM_BYTE_SCREEN_H_
#define TOVEX_PLATFORM_BYTE_SCREEN_H_

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>

namespace tovex {

#if defined(__SSE2__)
// Bytes screened by one ScreenBlanksAfter call; 0 where there is no
// screening and callers look at every byte themselves.
inline constexpr int kByteScreenWidth = 16;

// Bit i of the result is set when p[i] is a blank and p[i - 1] is one of
// `a`, `b`, `c`. REQUIRES: p[-1] to p[15] are readable.
inline unsigned ScreenBlanksAfter(const char* p, char a, char b, char c) {
  const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i before =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
  const __m128i after_any =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(before, _mm_set1_epi8(a)),
                                _mm_cmpeq_epi8(before, _mm_set1_epi8(b))),
                   _mm_cmpeq_epi8(before, _mm_set1_epi8(c)));
  const __m128i blanks = _mm_cmpeq_epi8(here, _mm_set1_epi8(' '));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_and_si128(blanks, after_any)));
}

// Bit i of the result is set when p[i], unsigned, is at most `limit`.
// REQUIRES: p[0] to p[15] are readable.
inline unsigned ScreenAtMost(const char* p, char limit) {
  const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i low = _mm_min_epu8(here, _mm_set1_epi8(limit));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, here)));
}

// Bit i of the result is set when p[i] is one of `a`, `b`, `c`.
// REQUIRES: p[0] to p[15] are readable.
inline unsigned ScreenAnyOf(const char* p, char a, char b, char c) {
  const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8(a)),
                                _mm_cmpeq_epi8(here, _mm_set1_epi8(b))),
                   _mm_cmpeq_epi8(here, _mm_set1_epi8(c)))));
}
#else
inline constexpr int kByteScreenWidth = 0;

inline unsigned ScreenBlanksAfter(const char*, char, char, char) { return 0; }
inline unsigned ScreenAtMost(const char*, char) { return 0; }
inline unsigned ScreenAnyOf(const char*, char, char, char) { return 0; }
#endif

// The first of `a`, `b`, `c` in [p, end), or `end`; sixteen bytes at a
// time where the processor allows it.
template <typename Char>
inline Char* FindAnyOf(Char* p, Char* end, char a, char b, char c) {
  if constexpr (kByteScreenWidth > 0) {
    for (; end - p >= kByteScreenWidth; p += kByteScreenWidth) {
      const unsigned hits = ScreenAnyOf(p, a, b, c);
      if (hits != 0) return p + std::countr_zero(hits);
    }
  }
  while (p < end && *p != a && *p != b && *p != c) ++p;
  return p;
}

}  // namespace tovex

#endif  // TOVEX_PLATFORM_BYTE_SCREEN_H_
