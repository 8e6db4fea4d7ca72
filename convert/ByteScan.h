#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The search of the line loop, sixteen bytes at a time where the processor allows.
namespace quill::scan {

// A byte that the translation does not copy as it is: 0-8, LF, CR, "<", ">", "~", 127.
inline bool IsSpecial(uint8_t b) {
    return b <= 8 || b == 10 || b == 13 || (b | 2) == '>' || (b & 0xFE) == '~';
}

// The offset of the first such byte among the n at p, or n when there is none.
inline size_t FindSpecial(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i eight = _mm_set1_epi8(8);
    const __m128i lf = _mm_set1_epi8(10);
    const __m128i cr = _mm_set1_epi8(13);
    const __m128i two = _mm_set1_epi8(2);
    const __m128i angle = _mm_set1_epi8('>');
    const __m128i notOne = _mm_set1_epi8(static_cast<char>(0xFE));
    const __m128i tilde = _mm_set1_epi8('~');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hit = _mm_cmpeq_epi8(_mm_min_epu8(v, eight), v);
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, lf));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, cr));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_or_si128(v, two), angle));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_and_si128(v, notOne), tilde));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
    if (i < n && n >= 16) {
        // The last few bytes: one more block that ends with the last byte, its bytes
        // before i masked off.
        const size_t start = n - 16;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + start));
        __m128i hit = _mm_cmpeq_epi8(_mm_min_epu8(v, eight), v);
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, lf));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, cr));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_or_si128(v, two), angle));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_and_si128(v, notOne), tilde));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)) >> (i - start);
        return mask != 0 ? i + static_cast<size_t>(__builtin_ctz(mask)) : n;
    }
#endif
    for (; i < n; ++i)
        if (IsSpecial(static_cast<uint8_t>(p[i]))) return i;
    return n;
}

}  // namespace quill::scan
