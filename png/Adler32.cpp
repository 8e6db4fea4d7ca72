#include "png/Adler32.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quill {

namespace {

constexpr uint32_t kBase = 65521;  // the largest prime below 2^16
// The most bytes that may be summed before the second sum, starting from just below the
// base, could pass 32 bits: 255 n (n + 1) / 2 + (n + 1) (kBase - 1) < 2^32.
constexpr size_t kMaxRun = 5552;

uint32_t AdlerScalar(uint32_t adler, const uint8_t* p, size_t n) {
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    while (n > 0) {
        size_t run = std::min(n, kMaxRun);
        n -= run;
        for (; run >= 4; run -= 4, p += 4) {
            a += p[0];
            b += a;
            a += p[1];
            b += a;
            a += p[2];
            b += a;
            a += p[3];
            b += a;
        }
        for (; run > 0; --run) {
            a += *p++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return (b << 16) | a;
}

#if defined(__x86_64__) || defined(__i386__)
// Over a step of w bytes starting with sums a and b, b grows by w a plus the bytes
// weighted w, w - 1, ..., 1, and a by their plain sum. The vector loops keep the plain
// sums (by _sad_epu8) and the weighted ones (by _maddubs_epi16 with the weights, then
// _madd_epi16 into 32-bit lanes) in lanes, and the running sum of a before each step in
// `past`, multiplied by w once at the end of a run. A run is at most kMaxRun bytes, so no
// lane, each a part of a total that fits, can overflow.
__attribute__((target("sse2"))) inline uint32_t LaneSum(__m128i x) {
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0x4E));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0xB1));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(x));
}

__attribute__((target("ssse3"))) uint32_t AdlerSsse3(uint32_t adler, const uint8_t* p, size_t n) {
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i weights = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    while (n >= 16) {
        size_t steps = std::min(n, kMaxRun) / 16;
        n -= steps * 16;
        __m128i sum1 = _mm_cvtsi32_si128(static_cast<int>(a));
        __m128i sum2 = _mm_cvtsi32_si128(static_cast<int>(b));
        __m128i past = zero;
        do {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            past = _mm_add_epi32(past, sum1);
            sum1 = _mm_add_epi32(sum1, _mm_sad_epu8(v, zero));
            sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_maddubs_epi16(v, weights), ones));
            p += 16;
        } while (--steps > 0);
        sum2 = _mm_add_epi32(sum2, _mm_slli_epi32(past, 4));
        a = LaneSum(sum1) % kBase;
        b = LaneSum(sum2) % kBase;
    }
    return AdlerScalar((b << 16) | a, p, n);
}

__attribute__((target("avx2"))) uint32_t AdlerAvx2(uint32_t adler, const uint8_t* p, size_t n) {
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i weights =
        _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                         13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    while (n >= 32) {
        size_t steps = std::min(n, kMaxRun) / 32;
        n -= steps * 32;
        __m256i sum1 = _mm256_setr_epi32(static_cast<int>(a), 0, 0, 0, 0, 0, 0, 0);
        __m256i sum2 = _mm256_setr_epi32(static_cast<int>(b), 0, 0, 0, 0, 0, 0, 0);
        __m256i past = zero;
        do {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            past = _mm256_add_epi32(past, sum1);
            sum1 = _mm256_add_epi32(sum1, _mm256_sad_epu8(v, zero));
            sum2 =
                _mm256_add_epi32(sum2, _mm256_madd_epi16(_mm256_maddubs_epi16(v, weights), ones));
            p += 32;
        } while (--steps > 0);
        sum2 = _mm256_add_epi32(sum2, _mm256_slli_epi32(past, 5));
        a = LaneSum(
                _mm_add_epi32(_mm256_castsi256_si128(sum1), _mm256_extracti128_si256(sum1, 1))) %
            kBase;
        b = LaneSum(
                _mm_add_epi32(_mm256_castsi256_si128(sum2), _mm256_extracti128_si256(sum2, 1))) %
            kBase;
    }
    // The compiler leaves this out before the tail call, and code of the older encoding
    // after a dirty upper half ran markedly slower (the un-filter, by half).
    _mm256_zeroupper();
    return AdlerScalar((b << 16) | a, p, n);
}

#endif

}  // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t n,
                 const TProcessorFeatures& features) {
#if defined(__x86_64__) || defined(__i386__)
    // Below a few vector steps the plain loop is as quick as the set-up.
    if (n >= 64) {
        if (features.Width >= TVectorWidth::Avx2) return AdlerAvx2(adler, data, n);
        if (features.Ssse3) return AdlerSsse3(adler, data, n);
    }
#else
    (void)features;
#endif
    return AdlerScalar(adler, data, n);
}

}  // namespace quill
