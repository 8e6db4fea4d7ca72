#include "png/RowUnfilter.h"

#include <algorithm>
#include <cstring>

#include "png/Paeth.h"
#include "png/PutLow.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace quill {

namespace {

#if defined(__SSE2__)
// Average and Paeth with the row above, a pixel a step in 16-bit lanes (its B bytes in the
// low lanes): the step's chain is a few vector operations where byte by byte it was one
// chain per channel. Answers the offset from which the rest of the row is left to the
// byte loops (the 8-byte loads stay inside the row).
template <int B>
int64_t UnfilterPixels(TFilterType filter, uint8_t* row, const uint8_t* prev, int64_t whole) {
    const __m128i zero = _mm_setzero_si128();
    auto load = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    auto store = [](uint8_t* p, __m128i v) {
        const __m128i packed = _mm_packus_epi16(v, v);
        if constexpr (B <= 4) {
            PutLow<B>(p, _mm_cvtsi128_si32(packed));
        } else {
            uint8_t bytes[8];
            _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), packed);
            std::memcpy(p, bytes, B);
        }
    };
    __m128i a = zero;
    int64_t i = 0;
    if (filter == TFilterType::Average) {
        // In byte lanes: (a + b) div 2 is the rounded-up average less the low bit of
        // a xor b, three steps from one pixel to the next.
        const __m128i one = _mm_set1_epi8(1);
        auto loadBytes = [](const uint8_t* p) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        };
        for (; i + 8 <= whole; i += B) {
            const __m128i b = loadBytes(prev + i);
            const __m128i up = _mm_add_epi8(loadBytes(row + i), _mm_avg_epu8(a, b));
            a = _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), one));
            if constexpr (B <= 4) {
                PutLow<B>(row + i, _mm_cvtsi128_si32(a));
            } else {
                uint8_t bytes[8];
                _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), a);
                std::memcpy(row + i, bytes, B);
            }
        }
    } else {
        __m128i c = zero;
        for (; i + 8 <= whole; i += B) {
            const __m128i b = load(prev + i);
            // Byte adds in lanes whose high bytes are 0: the sum modulo 256, no mask.
            a = _mm_add_epi8(load(row + i), PaethPredictor8(a, b, c));
            c = b;
            store(row + i, a);
        }
    }
    return i;
}

// Average and Paeth over two rows at once: each step takes pixel j of the first row and
// pixel j - kLag of the second, in one register, low and high half, so one chain of
// vector steps serves two pixels. For Paeth the second row lags by two pixels: its pixel
// above, made two steps before, then stays off the chain from one step to the next,
// which runs through the pixel to the left alone. Average, whose chain is short either
// way, keeps the lag of one.
template <int B, TFilterType Filter>
void UnfilterPair(uint8_t* first, uint8_t* second, const uint8_t* prev, int64_t n) {
    constexpr int64_t kLag = Filter == TFilterType::Paeth ? 2 : 1;
    const __m128i zero = _mm_setzero_si128();
    // Eight bytes are loaded (the rows and the row above have bytes after them): the lanes
    // past a pixel's own carry its neighbours' bytes, which lanes keep to themselves and
    // no store writes back.
    auto load = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    auto put = [](uint8_t* p, __m128i v) { PutLow<B>(p, _mm_cvtsi128_si32(v)); };
    // The last two steps' pixels: left is the first row's j - 1 and the second row's
    // j - kLag - 1; before is the first row's j - 2. Before the rows both are 0, and so
    // are the second row's lanes until it starts.
    __m128i left = zero, before = zero;
    __m128i c = zero;  // above-left: prev's pixel j - 1, the first row's j - kLag - 1
    auto step = [&](__m128i above, __m128i raw) {
        const __m128i b = _mm_unpacklo_epi64(above, kLag == 1 ? left : before);
        __m128i predicted;
        if constexpr (Filter == TFilterType::Average) {
            predicted = _mm_srli_epi16(_mm_add_epi16(left, b), 1);
        } else {
            predicted = PaethPredictor8(left, b, c);
            c = b;
        }
        before = left;
        // Byte adds in lanes whose high bytes are 0: the sum modulo 256, no mask.
        left = _mm_add_epi8(raw, predicted);
        return _mm_packus_epi16(left, left);
    };
    // Where one row has no pixel in the step, its lanes take zeros and store nothing.
    auto edge = [&](int64_t j) {
        const bool top = j < n, bottom = j >= kLag;
        const __m128i packed =
            step(top ? load(prev + j * B) : zero,
                 _mm_unpacklo_epi64(top ? load(first + j * B) : zero,
                                    bottom ? load(second + (j - kLag) * B) : zero));
        if (top) put(first + j * B, packed);
        if (bottom) put(second + (j - kLag) * B, _mm_srli_si128(packed, 4));
    };
    for (int64_t j = 0; j < kLag; ++j) edge(j);
    for (int64_t j = kLag; j < n; ++j) {
        const __m128i packed =
            step(load(prev + j * B),
                 _mm_unpacklo_epi64(load(first + j * B), load(second + (j - kLag) * B)));
        put(first + j * B, packed);
        put(second + (j - kLag) * B, _mm_srli_si128(packed, 4));
    }
    for (int64_t j = std::max(n, kLag); j < n + kLag; ++j) edge(j);
}

template <int B>
void UnfilterPair(TFilterType filter, uint8_t* first, uint8_t* second, const uint8_t* prev,
                  int64_t n) {
    if (filter == TFilterType::Average)
        UnfilterPair<B, TFilterType::Average>(first, second, prev, n);
    else
        UnfilterPair<B, TFilterType::Paeth>(first, second, prev, n);
}
#endif

#if defined(__SSE2__)
// Sub, and Paeth with no row above (whose predictor is then the left byte): four pixels
// a step (sixteen for B = 1, eight for B = 2). Within the step a running sum in log
// steps; across steps the carry is the only chain, one add, as the running sum's last
// pixel is spread to every pixel off that chain. Answers the offset from which the byte
// loop takes the rest of the row.
template <int B>
int64_t UnfilterSub(uint8_t* row, int64_t len) {
    constexpr int kStep = B == 3 ? 12 : 16;
    const __m128i keep =
        B == 3 ? _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0)
               : _mm_set1_epi8(-1);
    __m128i carry = _mm_setzero_si128();
    int64_t i = 0;
    for (; i + 16 <= len; i += kStep) {
        __m128i x = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)), keep);
        x = _mm_add_epi8(x, _mm_slli_si128(x, B));
        x = _mm_add_epi8(x, _mm_slli_si128(x, 2 * B));
        __m128i last;  // the last pixel's running sum in every pixel
        if constexpr (B == 1) {
            x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
            x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
            const __m128i b = _mm_srli_si128(x, 15);
            last = _mm_shuffle_epi32(_mm_shufflelo_epi16(_mm_unpacklo_epi8(b, b), 0), 0);
        } else if constexpr (B == 2) {
            x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
            last = _mm_shuffle_epi32(_mm_shufflelo_epi16(_mm_srli_si128(x, 14), 0), 0);
        } else if constexpr (B == 3) {
            last = _mm_and_si128(_mm_srli_si128(x, 9), _mm_cvtsi32_si128(0xFFFFFF));
            last = _mm_or_si128(last, _mm_slli_si128(last, 3));
            last = _mm_or_si128(last, _mm_slli_si128(last, 6));
        } else {
            last = _mm_shuffle_epi32(x, 0xFF);
        }
        x = _mm_add_epi8(x, carry);
        carry = _mm_add_epi8(carry, last);
        if constexpr (B == 3) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row + i), x);
            const int tail = _mm_cvtsi128_si32(_mm_srli_si128(x, 8));
            std::memcpy(row + i + 8, &tail, 4);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), x);
        }
    }
    return i;
}
#endif

// The bytes of the pixel to the left (and above-left) stay in registers from pixel to
// pixel: each channel is its own dependency chain, and no byte waits for the store of
// the one before it.
template <int B>
void UnfilterRowFixed(TFilterType filter, uint8_t* row, const uint8_t* prev, int64_t len) {
    const int64_t whole = len / B * B;  // rows hold whole pixels but for packed pixels (B = 1)
    int a[B] = {};                      // left
    int c[B] = {};                      // above-left
    int64_t start = 0;                  // where the byte loops begin
#if defined(__SSE2__)
    if constexpr (B > 1) {
        if ((filter == TFilterType::Average || filter == TFilterType::Paeth) && prev != nullptr) {
            start = UnfilterPixels<B>(filter, row, prev, whole);
            for (int k = 0; k < B && start > 0; ++k) {
                a[k] = row[start - B + k];
                c[k] = prev[start - B + k];
            }
        }
    }
#endif
    // Sub: the left byte added, running sums where the vectors are.
    const auto sub = [&] {
#if defined(__SSE2__)
        if constexpr (B <= 4) {
            start = UnfilterSub<B>(row, whole);
            for (int k = 0; k < B && start > 0; ++k) a[k] = row[start - B + k];
        }
#endif
        for (int64_t i = start; i < whole; i += B)
            for (int k = 0; k < B; ++k) a[k] = row[i + k] = static_cast<uint8_t>(row[i + k] + a[k]);
    };
    switch (filter) {
        case TFilterType::Sub:
            sub();
            break;
        case TFilterType::Up:
            if (prev == nullptr) break;
            for (int64_t i = 0; i < len; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
            break;
        case TFilterType::Average:
            if (prev == nullptr) {
                for (int64_t i = 0; i < whole; i += B)
                    for (int k = 0; k < B; ++k)
                        a[k] = row[i + k] = static_cast<uint8_t>(row[i + k] + (a[k] >> 1));
                break;
            }
            for (int64_t i = start; i < whole; i += B)
                for (int k = 0; k < B; ++k)
                    a[k] = row[i + k] =
                        static_cast<uint8_t>(row[i + k] + ((a[k] + prev[i + k]) >> 1));
            break;
        case TFilterType::Paeth:
            if (prev == nullptr) {  // above and above-left are 0: the predictor is the left byte
                sub();
                break;
            }
            for (int64_t i = start; i < whole; i += B)
                for (int k = 0; k < B; ++k) {
                    const int b = prev[i + k];
                    a[k] = row[i + k] =
                        static_cast<uint8_t>(row[i + k] + PaethPredictor(a[k], b, c[k]));
                    c[k] = b;
                }
            break;
        default:  // None and the values no filter has: the bytes stand
            break;
    }
}

}  // namespace

void UnfilterRow(TFilterType filter, uint8_t* row, const uint8_t* prev, int64_t len, int bpp) {
    switch (bpp) {
        case 1:
            return UnfilterRowFixed<1>(filter, row, prev, len);
        case 2:
            return UnfilterRowFixed<2>(filter, row, prev, len);
        case 3:
            return UnfilterRowFixed<3>(filter, row, prev, len);
        case 4:
            return UnfilterRowFixed<4>(filter, row, prev, len);
        case 6:
            return UnfilterRowFixed<6>(filter, row, prev, len);
        default:
            return UnfilterRowFixed<8>(filter, row, prev, len);
    }
}

bool UnfilterTwoRows(TFilterType filter, uint8_t* first, uint8_t* second, const uint8_t* prev,
                     int64_t len, int bpp) {
#if defined(__SSE2__)
    if ((filter != TFilterType::Average && filter != TFilterType::Paeth) || prev == nullptr)
        return false;
    if (bpp == 1) {
        UnfilterPair<1>(filter, first, second, prev, len);
        return true;
    }
    if (bpp == 2) {
        UnfilterPair<2>(filter, first, second, prev, len / 2);
        return true;
    }
    if (bpp == 3) {
        UnfilterPair<3>(filter, first, second, prev, len / 3);
        return true;
    }
    if (bpp == 4) {
        UnfilterPair<4>(filter, first, second, prev, len / 4);
        return true;
    }
#else
    (void)filter, (void)first, (void)second, (void)prev, (void)len, (void)bpp;
#endif
    return false;
}

}  // namespace quill
