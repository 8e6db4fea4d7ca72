#include "convert/ByteScan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

// The three classes of one block of 64 bytes.
struct TBlockClasses {
    uint64_t specials;
    uint64_t lineEnds;
    uint64_t codes;  // 1 to 7
};

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
    }
    return c;
}

// The top bit of each of the 32 bytes: a class bit is moved there to be collected.
__attribute__((target("avx2"), always_inline)) inline uint64_t TopBits(__m256i m) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

// With 32-byte registers, each byte's classes come from two table lookups, one by its
// high and one by its low half: the bits that both lookups give are the byte's classes.
// Class bits: 1: special 0-8, LF, CR; 2: "<" ">"; 4: "~" 127; 8: CR or 0; 16: 1 to 7.
__attribute__((target("avx2"))) inline TBlockClasses ClassifyAvx2(const char* p) {
    const __m256i byHigh = _mm256_setr_epi8(25, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                            25, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i byLow = _mm256_setr_epi8(9, 17, 17, 17, 17, 17, 17, 17, 1, 0, 1, 0, 2, 9, 6, 4, 9,
                                           17, 17, 17, 17, 17, 17, 17, 1, 0, 1, 0, 2, 9, 6, 4);
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
    }
    return c;
}
#else
inline TBlockClasses ClassifyScalar(const char* p) {
    TBlockClasses c{};
    for (unsigned i = 0; i < 64; ++i) {
        const uint8_t b = static_cast<uint8_t>(p[i]);
        c.specials |= static_cast<uint64_t>(IsSpecial(b)) << i;
        c.lineEnds |= static_cast<uint64_t>(IsLineEnd(b)) << i;
        c.codes |= static_cast<uint64_t>(b >= 1 && b <= 7) << i;
    }
    return c;
}
#endif

// Each block is classified once; whether its last byte colours a line depends on the
// next block's first byte. Line colours are rare: each is traced back to the line end
// before its line by a search of its own.
template <TBlockClasses (*Classify)(const char*)>
__attribute__((always_inline)) inline void ClassifyAll(const char* p, size_t n, uint64_t* specials,
                                                       uint64_t* colouredAfter) {
    const size_t words = (n + 63) / 64;
    TBlockClasses c = Classify(p);
    for (size_t w = 0; w < words; ++w) {
        const size_t left = n - 64 * w;
        const uint64_t inside = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
        const TBlockClasses next = w + 1 < words ? Classify(p + 64 * (w + 1)) : TBlockClasses{};
        const uint64_t ends = c.lineEnds & inside;
        const uint64_t endsAfter = ends >> 1 | (next.lineEnds & 1 & (w + 1 < words)) << 63;
        specials[w] = c.specials & inside;
        colouredAfter[w] = 0;
        for (uint64_t colours = c.codes & endsAfter & inside; colours != 0;
             colours &= colours - 1) {
            const size_t at = 64 * w + static_cast<size_t>(__builtin_ctzll(colours));
            const size_t lineStart = FindLastLineEnd(p, at);
            if (lineStart > 0)
                colouredAfter[(lineStart - 1) / 64] |= uint64_t{1} << ((lineStart - 1) % 64);
        }
        c = next;
    }
}

#if defined(__SSE2__)
__attribute__((target("avx2"))) void ClassifyAllAvx2(const char* p, size_t n, uint64_t* specials,
                                                     uint64_t* colouredAfter) {
    ClassifyAll<ClassifyAvx2>(p, n, specials, colouredAfter);
}
#endif

}  // namespace

bool HasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

void ClassifyBlocks(const char* p, size_t n, uint64_t* specials, uint64_t* colouredAfter) {
#if defined(__SSE2__)
    if (HasAvx2())
        ClassifyAllAvx2(p, n, specials, colouredAfter);
    else
        ClassifyAll<ClassifySse2>(p, n, specials, colouredAfter);
#else
    ClassifyAll<ClassifyScalar>(p, n, specials, colouredAfter);
#endif
}

}  // namespace quill::scan
