#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ProcessorFeatures.h"

// The searches of the line loop, sixteen bytes at a time where the processor allows.
namespace quill::scan {

// A byte that the translation does not copy as it is: 0-8, LF, CR, "<", ">", "~", 127.
inline bool IsSpecial(uint8_t b) {
    return b <= 8 || b == 10 || b == 13 || (b | 2) == '>' || (b & 0xFE) == '~';
}

// A byte that ends a line: CR or 0.
inline bool IsLineEnd(uint8_t b) {
    return b == 13 || b == 0;
}

#if defined(__SSE2__)
// One bit per byte of the sixteen at p (bit i for p[i]): set where the byte is special.
inline unsigned SpecialBits16(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(8)), v);
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(10)));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(13)));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(2)), _mm_set1_epi8('>')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))),
                                           _mm_set1_epi8('~')));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

// The same for line ends.
inline unsigned LineEndBits16(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit =
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(13)), _mm_cmpeq_epi8(v, _mm_setzero_si128()));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#else
inline unsigned SpecialBits16(const char* p) {
    unsigned bits = 0;
    for (unsigned i = 0; i < 16; ++i)
        bits |= static_cast<unsigned>(IsSpecial(static_cast<uint8_t>(p[i]))) << i;
    return bits;
}

inline unsigned LineEndBits16(const char* p) {
    unsigned bits = 0;
    for (unsigned i = 0; i < 16; ++i)
        bits |= static_cast<unsigned>(IsLineEnd(static_cast<uint8_t>(p[i]))) << i;
    return bits;
}
#endif

// Special bytes among the 64 at p, bit i for p[i].
inline uint64_t SpecialBits64(const char* p) {
    return static_cast<uint64_t>(SpecialBits16(p)) |
           static_cast<uint64_t>(SpecialBits16(p + 16)) << 16 |
           static_cast<uint64_t>(SpecialBits16(p + 32)) << 32 |
           static_cast<uint64_t>(SpecialBits16(p + 48)) << 48;
}

// Line ends among the 64 at p, bit i for p[i].
inline uint64_t LineEndBits64(const char* p) {
    return static_cast<uint64_t>(LineEndBits16(p)) |
           static_cast<uint64_t>(LineEndBits16(p + 16)) << 16 |
           static_cast<uint64_t>(LineEndBits16(p + 32)) << 32 |
           static_cast<uint64_t>(LineEndBits16(p + 48)) << 48;
}

// The offset of the first CR or 0 among the n at p, or n when there is none. Loads whole
// blocks of 64 bytes: the 63 bytes after the n must be readable (their values do not
// matter).
inline size_t FindLineEnd(const char* p, size_t n) {
    for (size_t i = 0; i < n; i += 64) {
        const uint64_t bits = LineEndBits64(p + i);
        if (bits != 0) return std::min(n, i + static_cast<size_t>(__builtin_ctzll(bits)));
    }
    return n;
}

// One past the last CR or 0 among the n bytes at p, or 0 when there is none: where the
// whole lines in a read buffer end.
size_t FindLastLineEnd(const char* p, size_t n);

// The classes of whole text lines, 64 bytes at a time, for the line loop over a whole
// read buffer. The n bytes at p end with a line end and do not start with a picture line;
// the lines taken end at the first 0 (included) or before the first picture line, or else
// with the n bytes: answers where they end. For block w (bytes 64w to 64w + 63) of them,
// bit i of specials[w] is set where that byte is special, and bit i of colouredAfter[w]
// where it ends a line and the next line has a line colour. Bits past the end are clear.
// Both arrays hold (n + 63) / 64 words; the 64 bytes after the n must be readable.
using TClassifyBlocks = size_t (*)(const char* p, size_t n, uint64_t* specials,
                                   uint64_t* colouredAfter);

// The kernels of one vector width. A run takes them once, at its start: the widest that
// ProcessorFeatures allows, or a narrower width asked for (tests check every width on one
// machine).
struct TKernels {
    TVectorWidth Width;
    TClassifyBlocks ClassifyBlocks;
    bool Avx2Walk;  // the walk over special bytes built for AVX2 may run
};
const TKernels& KernelsFor(TVectorWidth widest = TVectorWidth::Avx512);

}  // namespace quill::scan
