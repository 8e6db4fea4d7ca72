#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// cp866 text as UTF-8 many bytes at a time, for the modern page's walks: Cyrillic letters
// of cp866, the bulk of a document's text, are two bytes in UTF-8 with a fixed lead (0x80-
// 0xAF are D0 90-BF, 0xE0-0xEF are D1 80-8F); ASCII stays as it is. Inline, so that a walk
// keeps the constants in its registers.
namespace quill::modern {

// Of 64 bytes, a bit a byte: which are neither ASCII nor Cyrillic letters (they must go
// through TUtf8Table::Text), and which take two bytes.
struct TLetters {
    uint64_t others;
    uint64_t twoBytes;
};

#if defined(__x86_64__) || defined(__i386__)
// For 8 bytes, each a lead byte at 2i followed by its trail byte at 2i + 1: which bytes
// to keep, by the mask of the bytes that have a trail (bit i).
struct TCompactTable {
    alignas(16) uint8_t shuffle[256][16];
    constexpr TCompactTable() : shuffle{} {
        for (int mask = 0; mask < 256; ++mask) {
            int j = 0;
            for (int i = 0; i < 8; ++i) {
                shuffle[mask][j++] = static_cast<uint8_t>(2 * i);
                if (mask >> i & 1) shuffle[mask][j++] = static_cast<uint8_t>(2 * i + 1);
            }
            while (j < 16) shuffle[mask][j++] = 0x80;
        }
    }
};
inline constexpr TCompactTable kCompact;

// Eight bytes' lead and trail side by side: the count of them used, compacted and stored.
__attribute__((target("avx2,popcnt"), always_inline)) inline uint8_t* PutPairs(uint8_t* out,
                                                                               __m128i pairs,
                                                                               unsigned mask,
                                                                               size_t count) {
    const __m128i order = _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[mask]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pairs, order));
    return out + count + static_cast<size_t>(__builtin_popcount(mask));
}

// The 32 bytes of v that are neither ASCII text nor Cyrillic letters nor tab, LF and CR,
// a bit a byte: they must go through the table. Classes by high and low half of a byte; a
// byte is plain where both agree on a bit. 1: ASCII 0x30-0x7F; 2: 0x20-0x2F but the
// double quote and "&"; 4: Cyrillic letter; 8: tab, LF, CR.
__attribute__((target("avx2"), always_inline)) inline uint64_t OtherBytes32(__m256i v) {
    const __m256i byHigh = _mm256_setr_epi8(8, 0, 2, 1, 1, 1, 1, 1, 4, 4, 4, 0, 0, 0, 4, 0,  //
                                            8, 0, 2, 1, 1, 1, 1, 1, 4, 4, 4, 0, 0, 0, 4, 0);
    const __m256i byLow = _mm256_setr_epi8(7, 7, 5, 7, 7, 7, 5, 7, 7, 15, 15, 7, 7, 15, 7, 7,  //
                                           7, 7, 5, 7, 7, 7, 5, 7, 7, 15, 15, 7, 7, 15, 7, 7);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i classes = _mm256_and_si256(
        _mm256_shuffle_epi8(byHigh, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)),
        _mm256_shuffle_epi8(byLow, _mm256_and_si256(v, nibble)));
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, _mm256_setzero_si256())));
}

// Lead and trail of each of the 32 bytes of v as if it were ASCII or a Cyrillic letter,
// side by side per 128-bit half (bytes 0-7 and 16-23 in low, 8-15 and 24-31 in high);
// answers which bytes take two (0x80 and above).
__attribute__((target("avx2"), always_inline)) inline unsigned LetterPairs32(__m256i v,
                                                                             __m256i& low,
                                                                             __m256i& high) {
    const __m256i top = _mm256_cmpgt_epi8(_mm256_setzero_si256(), v);  // 0x80 and above
    const __m256i e =
        _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xF0))),
                          _mm256_set1_epi8(static_cast<char>(0xE0)));
    const __m256i lead =
        _mm256_blendv_epi8(v, _mm256_sub_epi8(_mm256_set1_epi8(static_cast<char>(0xD0)), e), top);
    const __m256i trail = _mm256_blendv_epi8(_mm256_add_epi8(v, _mm256_set1_epi8(0x10)),
                                             _mm256_sub_epi8(v, _mm256_set1_epi8(0x60)), e);
    low = _mm256_unpacklo_epi8(lead, trail);
    high = _mm256_unpackhi_epi8(lead, trail);
    return static_cast<unsigned>(_mm256_movemask_epi8(top));
}

// The 64 bytes at p at out, each as if it were ASCII or a Cyrillic letter (up to 128
// bytes); a caller checks TUtf8Table::HasWideWrite.
__attribute__((target("avx2,popcnt"))) inline TLetters WriteLetters64Avx2(uint8_t* out,
                                                                          const char* p) {
    // The line ends and tab count as letters here too.
    TLetters letters{};
    for (int half = 0; half < 2; ++half) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
        const uint64_t others = OtherBytes32(v);
        __m256i low, hi;
        const unsigned twoBytes = LetterPairs32(v, low, hi);
        out = PutPairs(out, _mm256_castsi256_si128(low), twoBytes & 0xFF, 8);
        out = PutPairs(out, _mm256_castsi256_si128(hi), twoBytes >> 8 & 0xFF, 8);
        out = PutPairs(out, _mm256_extracti128_si256(low, 1), twoBytes >> 16 & 0xFF, 8);
        out = PutPairs(out, _mm256_extracti128_si256(hi, 1), twoBytes >> 24, 8);
        letters.others |= others << (32 * half);
        letters.twoBytes |= static_cast<uint64_t>(twoBytes) << (32 * half);
    }
    return letters;
}

// As WriteLetters64Avx2, but lead and trail of 32 bytes side by side in one register, and
// the trails that are none dropped by one compress.
__attribute__((target("avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt"))) inline TLetters
WriteLetters64Avx512(uint8_t* out, const char* p) {
    // The tables of WriteLetters64Avx2, once for each 16 bytes; and where the pairs of the
    // first 32 bytes come from: lead i at 2i, trail i (the second register) at 2i + 1.
    struct TTables {
        alignas(64) char byHigh[64];
        alignas(64) char byLow[64];
        alignas(64) char pairs[64];
    };
    static constexpr TTables kTables = [] {
        constexpr char kHigh[16] = {8, 0, 2, 1, 1, 1, 1, 1, 4, 4, 4, 0, 0, 0, 4, 0};
        constexpr char kLow[16] = {7, 7, 5, 7, 7, 7, 5, 7, 7, 15, 15, 7, 7, 15, 7, 7};
        TTables t{};
        for (int i = 0; i < 64; ++i) {
            t.byHigh[i] = kHigh[i % 16];
            t.byLow[i] = kLow[i % 16];
            t.pairs[i] = static_cast<char>((i & 1) * 64 + i / 2);
        }
        return t;
    }();
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i classes = _mm512_and_si512(
        _mm512_shuffle_epi8(_mm512_load_si512(kTables.byHigh),
                            _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble)),
        _mm512_shuffle_epi8(_mm512_load_si512(kTables.byLow), _mm512_and_si512(v, nibble)));
    const __mmask64 high = _mm512_movepi8_mask(v);  // 0x80 and above
    const __mmask64 e =
        _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, _mm512_set1_epi8(static_cast<char>(0xF0))),
                               _mm512_set1_epi8(static_cast<char>(0xE0)));
    const __m512i lead =
        _mm512_mask_blend_epi8(high, v,
                               _mm512_mask_blend_epi8(e, _mm512_set1_epi8(static_cast<char>(0xD0)),
                                                      _mm512_set1_epi8(static_cast<char>(0xD1))));
    const __m512i trail = _mm512_mask_blend_epi8(e, _mm512_add_epi8(v, _mm512_set1_epi8(0x10)),
                                                 _mm512_sub_epi8(v, _mm512_set1_epi8(0x60)));
    const __m512i order = _mm512_load_si512(kTables.pairs);
    const __m512i first = _mm512_permutex2var_epi8(lead, order, trail);
    const __m512i second =
        _mm512_permutex2var_epi8(lead, _mm512_add_epi8(order, _mm512_set1_epi8(32)), trail);
    constexpr uint64_t kLeads = 0x5555555555555555;
    const uint64_t keepFirst = _pdep_u64(high & 0xFFFFFFFF, ~kLeads) | kLeads;
    const uint64_t keepSecond = _pdep_u64(high >> 32, ~kLeads) | kLeads;
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keepFirst, first));
    out += __builtin_popcountll(keepFirst);
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keepSecond, second));
    return {_mm512_testn_epi8_mask(classes, classes), high};
}
#endif

}  // namespace quill::modern
