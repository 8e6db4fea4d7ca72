#include "convert/ByteScan.h"

#include <algorithm>
#include <iterator>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "convert/LineRules.h"

namespace quill::scan {

size_t FindLastLineEnd(const char* p, size_t n) {
#if defined(__SSE2__)
    for (; n >= 16; n -= 16) {
        const unsigned bits = LineEndBits16(p + n - 16);
        if (bits != 0) return n - 16 + static_cast<size_t>(32 - __builtin_clz(bits));
    }
#endif
    for (; n > 0; --n)
        if (IsLineEnd(static_cast<uint8_t>(p[n - 1]))) return n;
    return 0;
}

namespace {

// The classes of one block of 64 bytes.
struct TBlockClasses {
    uint64_t specials;
    uint64_t lineEnds;
    uint64_t codes;  // 1 to 7
    uint64_t rare;   // 0 and 255, where the text lines may end (and perhaps a few others)
};

// Bit i set for each i < left.
inline uint64_t Inside(size_t left) {
    return left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
}

#if defined(__SSE2__)
inline TBlockClasses ClassifySse2(const char* p) {
    TBlockClasses c{};
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        const __m128i less1 = _mm_sub_epi8(v, _mm_set1_epi8(1));
        const __m128i code = _mm_cmpeq_epi8(_mm_min_epu8(less1, _mm_set1_epi8(6)), less1);
        const int shift = 16 * part;
        c.specials |= static_cast<uint64_t>(SpecialBits16(p + 16 * part)) << shift;
        c.lineEnds |= static_cast<uint64_t>(LineEndBits16(p + 16 * part)) << shift;
        c.codes |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(code))) << shift;
        const __m128i rare = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8(-1)));
        c.rare |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(rare))) << shift;
    }
    return c;
}

// The top bit of each of the 32 bytes: a class bit is moved there to be collected.
__attribute__((target("avx2"), always_inline)) inline uint64_t TopBits(__m256i m) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

// With 32-byte registers, each byte's classes come from two table lookups, one by its
// high and one by its low half: the bits that both lookups give are the byte's classes.
// Class bits: 1: special 0-8, LF, CR; 2: "<" ">"; 4: "~" 127; 8: CR or 0; 16: 1 to 7;
// 32: 0 and 255 (and, as the tables cannot tell them apart, 15 and 240).
__attribute__((target("avx2"))) inline TBlockClasses ClassifyAvx2(const char* p) {
    const __m256i byHigh = _mm256_setr_epi8(57, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 32,  //
                                            57, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 32);
    const __m256i byLow = _mm256_setr_epi8(41, 17, 17, 17, 17, 17, 17, 17, 1, 0, 1, 0, 2, 9, 6, 36,
                                           41, 17, 17, 17, 17, 17, 17, 17, 1, 0, 1, 0, 2, 9, 6, 36);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    TBlockClasses c{};
    for (int half = 0; half < 2; ++half) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
        const __m256i low = _mm256_and_si256(v, nibble);
        const __m256i classes =
            _mm256_and_si256(_mm256_shuffle_epi8(byHigh, high), _mm256_shuffle_epi8(byLow, low));
        const __m256i plain = _mm256_cmpeq_epi8(_mm256_and_si256(classes, _mm256_set1_epi8(7)),
                                                _mm256_setzero_si256());
        const int shift = 32 * half;
        c.specials |= (~TopBits(plain) & 0xFFFFFFFFu) << shift;
        c.lineEnds |= TopBits(_mm256_slli_epi16(classes, 4)) << shift;
        c.codes |= TopBits(_mm256_slli_epi16(classes, 3)) << shift;
        c.rare |= TopBits(_mm256_slli_epi16(classes, 2)) << shift;
    }
    return c;
}

// The same classes 64 bytes at a time, each class test giving its bits directly.
__attribute__((target("avx512bw"))) inline TBlockClasses ClassifyAvx512(const char* p) {
    // The two tables of the narrower code, once for each 16 bytes.
    alignas(64) static constexpr char kByHigh[64] = {
        57, 0, 0, 2,  0,  0, 0, 4, 0, 0,  0,  0, 0, 0, 0, 32, 57, 0, 0, 2, 0, 0,
        0,  4, 0, 0,  0,  0, 0, 0, 0, 32, 57, 0, 0, 2, 0, 0,  0,  4, 0, 0, 0, 0,
        0,  0, 0, 32, 57, 0, 0, 2, 0, 0,  0,  4, 0, 0, 0, 0,  0,  0, 0, 32};
    alignas(64) static constexpr char kByLow[64] = {
        41, 17, 17, 17, 17, 17, 17, 17, 1,  0,  1,  0,  2,  9,  6,  36, 41, 17, 17, 17, 17, 17,
        17, 17, 1,  0,  1,  0,  2,  9,  6,  36, 41, 17, 17, 17, 17, 17, 17, 17, 1,  0,  1,  0,
        2,  9,  6,  36, 41, 17, 17, 17, 17, 17, 17, 17, 1,  0,  1,  0,  2,  9,  6,  36};
    const __m512i byHigh = _mm512_load_si512(kByHigh);
    const __m512i byLow = _mm512_load_si512(kByLow);
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i high = _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble);
    const __m512i low = _mm512_and_si512(v, nibble);
    const __m512i classes =
        _mm512_and_si512(_mm512_shuffle_epi8(byHigh, high), _mm512_shuffle_epi8(byLow, low));
    TBlockClasses c;
    c.specials = _mm512_test_epi8_mask(classes, _mm512_set1_epi8(7));
    c.lineEnds = _mm512_test_epi8_mask(classes, _mm512_set1_epi8(8));
    c.codes = _mm512_test_epi8_mask(classes, _mm512_set1_epi8(16));
    c.rare = _mm512_test_epi8_mask(classes, _mm512_set1_epi8(32));
    return c;
}
#endif

inline TBlockClasses ClassifyScalar(const char* p) {
    TBlockClasses c{};
    for (unsigned i = 0; i < 64; ++i) {
        const uint8_t b = static_cast<uint8_t>(p[i]);
        c.specials |= static_cast<uint64_t>(IsSpecial(b)) << i;
        c.lineEnds |= static_cast<uint64_t>(IsLineEnd(b)) << i;
        c.codes |= static_cast<uint64_t>(lines::IsColourCode(b)) << i;
        c.rare |= static_cast<uint64_t>(b == 0 || b == 255) << i;
    }
    return c;
}

// Each block is classified once; whether its last byte colours a line depends on the
// next block's first byte. Line colours, zeros and picture lines are rare: each is looked
// at on its own. A line colour colours the line after the line end before it.
template <TBlockClasses (*Classify)(const char*)>
__attribute__((always_inline)) inline size_t ClassifyAll(const char* p, size_t n,
                                                         uint64_t* specials,
                                                         uint64_t* colouredAfter) {
    constexpr size_t kNone = ~size_t{0};
    size_t lastEnd = kNone;  // the last line end in the blocks before
    TBlockClasses c = Classify(p);
    for (size_t w = 0; 64 * w < n; ++w) {
        for (uint64_t rare = c.rare & Inside(n - 64 * w); rare != 0; rare &= rare - 1) {
            const size_t at = 64 * w + static_cast<size_t>(__builtin_ctzll(rare));
            const uint8_t b = static_cast<uint8_t>(p[at]);
            if (b == 0) {
                n = at + 1;
                break;
            }
            if (at > 0 && IsLineEnd(static_cast<uint8_t>(p[at - 1])) &&
                lines::IsPictureLine(b, static_cast<uint8_t>(p[at + 1]))) {
                n = at;
                break;
            }
        }
        if (64 * w >= n) break;
        const uint64_t inside = Inside(n - 64 * w);
        const bool more = 64 * (w + 1) < n;
        const TBlockClasses next = more ? Classify(p + 64 * (w + 1)) : TBlockClasses{};
        const uint64_t ends = c.lineEnds & inside;
        const uint64_t endsAfter = ends >> 1 | (next.lineEnds & 1 & more) << 63;
        specials[w] = c.specials & inside;
        colouredAfter[w] = 0;
        for (uint64_t colours = c.codes & endsAfter & inside; colours != 0;
             colours &= colours - 1) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctzll(colours));
            const uint64_t before = ends & ((uint64_t{1} << bit) - 1);
            const size_t lineEnd =
                before != 0 ? 64 * w + 63 - static_cast<size_t>(__builtin_clzll(before)) : lastEnd;
            if (lineEnd != kNone) colouredAfter[lineEnd / 64] |= uint64_t{1} << (lineEnd % 64);
        }
        // Without a branch: about a third of the blocks of a text end no line, in no
        // pattern the processor could learn.
        const size_t lastHere = 64 * w + 63 - static_cast<size_t>(__builtin_clzll(ends | 1));
        const size_t keep = static_cast<size_t>(ends != 0) - 1;  // all ones: no line end here
        lastEnd = (lastEnd & keep) | (lastHere & ~keep);
        c = next;
    }
    return n;
}

#if defined(__SSE2__)
__attribute__((target("avx2"))) size_t ClassifyAllAvx2(const char* p, size_t n, uint64_t* specials,
                                                       uint64_t* colouredAfter) {
    return ClassifyAll<ClassifyAvx2>(p, n, specials, colouredAfter);
}

__attribute__((target("avx512bw"))) size_t ClassifyAllAvx512(const char* p, size_t n,
                                                             uint64_t* specials,
                                                             uint64_t* colouredAfter) {
    return ClassifyAll<ClassifyAvx512>(p, n, specials, colouredAfter);
}
#endif

size_t ClassifyAllScalar(const char* p, size_t n, uint64_t* specials, uint64_t* colouredAfter) {
    return ClassifyAll<ClassifyScalar>(p, n, specials, colouredAfter);
}

#if defined(__SSE2__)
size_t ClassifyAllSse2(const char* p, size_t n, uint64_t* specials, uint64_t* colouredAfter) {
    return ClassifyAll<ClassifySse2>(p, n, specials, colouredAfter);
}
#endif

}  // namespace

const TKernels& KernelsFor(TVectorWidth widest) {
    static constexpr TKernels kKernels[] = {
        {TVectorWidth::Plain, ClassifyAllScalar, false},
#if defined(__SSE2__)
        {TVectorWidth::Sse2, ClassifyAllSse2, false},
        {TVectorWidth::Avx2, ClassifyAllAvx2, true},
        {TVectorWidth::Avx512, ClassifyAllAvx512, true},
#endif
    };
    constexpr int kLast = static_cast<int>(std::size(kKernels)) - 1;
    const int width = std::min(static_cast<int>(ProcessorFeatures(widest).Width), kLast);
    return kKernels[width];
}

}  // namespace quill::scan
