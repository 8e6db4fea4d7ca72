#pragma once

// The Paeth predictor, shared by the writer's filter and the reader's un-filter: one
// byte at a time, and eight at a time in 16-bit lanes for the row loops.

#include <cstdint>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

// a = left, b = above, c = above-left. With p = a + b - c the three distances reduce to
// |p - a| = |b - c|, |p - b| = |a - c| and |p - c| = |a + b - 2c|; written so, without
// branches, which a noisy image would mispredict half the time.
inline uint8_t PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return static_cast<uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

#if defined(__SSE2__)
// PaethPredictor on eight 16-bit lanes holding 0..255 each. Written so that a, which in
// un-filtering is the byte just decoded, enters as late as it can: the distances that
// need it are each one step from it, and so is their negation.
inline __m128i PaethPredictor8(__m128i a, __m128i b, __m128i c) {
    const __m128i bc = _mm_sub_epi16(b, c);
    const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(c, b));
    const __m128i b2c = _mm_sub_epi16(bc, c);  // b - 2c, so that |a + b - 2c| is one step
    const __m128i pb = _mm_max_epi16(_mm_sub_epi16(a, c), _mm_sub_epi16(c, a));
    const __m128i pc = _mm_max_epi16(_mm_add_epi16(a, b2c),
                                     _mm_sub_epi16(_mm_sub_epi16(_mm_setzero_si128(), b2c), a));
    // a where pa <= pb and pa <= pc, else b where pb <= pc, else c.
    const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i takeC = _mm_cmpgt_epi16(pb, pc);
    const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeC, c), _mm_andnot_si128(takeC, b));
    return _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
}
#endif

}  // namespace quill
