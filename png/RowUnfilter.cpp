#include "png/RowUnfilter.h"

#include <algorithm>
#include <cstring>

#include "png/Paeth.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace quill {

namespace {

#if defined(__SSE2__)
// The low B bytes of a word to memory; three as two and one straight from the register,
// where a copy of three bytes went through the stack and cost a quarter of a step.
template <int B>
inline void PutLow(uint8_t* p, int bytes) {
    if constexpr (B == 3) {
        const auto low = static_cast<uint16_t>(bytes);
        std::memcpy(p, &low, 2);
        p[2] = static_cast<uint8_t>(bytes >> 16);
    } else {
        std::memcpy(p, &bytes, B);
    }
}

// Average and Paeth with the row above, a pixel a step in 16-bit lanes (its B bytes in the
// low lanes): the step's chain is a few vector operations where byte by byte it was one
// chain per channel. Answers the offset from which the rest of the row is left to the
// byte loops (the 8-byte loads stay inside the row).
template <int B>
int64_t UnfilterPixels(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t whole) {
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
    if (filter == 3) {
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
template <int B, int Filter>
void UnfilterPair(uint8_t* first, uint8_t* second, const uint8_t* prev, int64_t n) {
    constexpr int64_t kLag = Filter == 4 ? 2 : 1;
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
        if constexpr (Filter == 3) {
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
void UnfilterPair(uint8_t filter, uint8_t* first, uint8_t* second, const uint8_t* prev, int64_t n) {
    if (filter == 3)
        UnfilterPair<B, 3>(first, second, prev, n);
    else
        UnfilterPair<B, 4>(first, second, prev, n);
}
#endif

#if defined(__SSE2__)
// The filtered bytes plus PaethPredictor8's choice, on sixteen lanes. The wider
// instruction set has the absolute value and the byte blend; and the three sums are made
// before the choice, those with b and c off the chain through a, so that the choice is
// the chain's last step rather than the sum after it.
__attribute__((target("avx2"), always_inline)) inline __m256i PaethAdd16(__m256i raw, __m256i a,
                                                                         __m256i b, __m256i c) {
    const __m256i bc = _mm256_sub_epi16(b, c);
    const __m256i pa = _mm256_abs_epi16(bc);
    const __m256i b2c = _mm256_sub_epi16(bc, c);
    const __m256i pb = _mm256_abs_epi16(_mm256_sub_epi16(a, c));
    const __m256i pc = _mm256_abs_epi16(_mm256_add_epi16(a, b2c));
    const __m256i notA = _mm256_or_si256(_mm256_cmpgt_epi16(pa, pb), _mm256_cmpgt_epi16(pa, pc));
    // Byte adds in lanes whose high bytes are 0: the sum modulo 256, no mask.
    const __m256i bOrC = _mm256_blendv_epi8(_mm256_add_epi8(raw, b), _mm256_add_epi8(raw, c),
                                            _mm256_cmpgt_epi16(pb, pc));
    return _mm256_blendv_epi8(_mm256_add_epi8(raw, a), bOrC, notA);
}

// The pixels of the last steps of four rows at once, row r in the r-th quarter.
struct TQuadState {
    __m256i Left;    // row r's pixel j - r * lag - 1
    __m256i Before;  // and the one before it
    __m256i C;       // above-left of row r's pixel j - r * lag
    __m256i Raw;     // row r's filtered pixel j - r * lag, read a step ahead
};

// For rows of different filters (Filter 0 below): the quarters of the rows of each.
struct TQuadFilters {
    __m256i Sub, Up, Average, Paeth;
};

constexpr int64_t kQuadLag = 2;

// The filtered pixels of step j, pixel j - r * kQuadLag of row r. Four bytes a pixel are
// read (rows and the row above have bytes after them); the lanes past a pixel's own are
// its neighbours', kept to themselves. Checked, at the rows' ends, gives a row with no
// pixel in the step zeros: zeros in, zeros out, so a row that has not started yet leaves
// its lanes as a row before the image would.
template <int B, bool Checked>
__attribute__((target("avx2"), always_inline)) inline __m256i QuadRaw(uint8_t* const rows[4],
                                                                      int64_t n, int64_t j) {
    int raw[4] = {};
    for (int r = 0; r < 4; ++r) {
        const int64_t k = j - r * kQuadLag;
        if (!Checked || (k >= 0 && k < n)) std::memcpy(&raw[r], rows[r] + k * B, 4);
    }
    return _mm256_cvtepu8_epi16(_mm_setr_epi32(raw[0], raw[1], raw[2], raw[3]));
}

// One step of UnfilterQuad: pixel j - r * kQuadLag of row r. Checked stores nothing of a
// row with no pixel in the step.
template <int B, int Filter, bool Checked>
__attribute__((target("avx2"), always_inline)) inline void QuadStep(TQuadState& s,
                                                                    const TQuadFilters& f,
                                                                    uint8_t* const rows[4],
                                                                    const uint8_t* prev, int64_t n,
                                                                    int64_t j) {
    const __m256i x = s.Raw;
    int up = 0;
    if (!Checked || j < n) std::memcpy(&up, prev + j * B, 4);
    // Above row r's pixel is row r - 1's, made kQuadLag steps before; above the first
    // row's, the row above's.
    const __m256i b = _mm256_blend_epi32(_mm256_permute4x64_epi64(s.Before, 0x93),
                                         _mm256_cvtepu8_epi16(_mm_cvtsi32_si128(up)), 0x03);
    __m256i left;
    if constexpr (Filter == 3) {
        // Byte adds in lanes whose high bytes are 0: the sum modulo 256, no mask.
        left = _mm256_add_epi8(x, _mm256_srli_epi16(_mm256_add_epi16(s.Left, b), 1));
    } else if constexpr (Filter == 4) {
        left = PaethAdd16(x, s.Left, b, s.C);
        s.C = b;
    } else {
        // Every filter's sum, each row taking its own; Paeth's, the longest, chosen last.
        __m256i any = _mm256_blendv_epi8(x, _mm256_add_epi8(x, s.Left), f.Sub);
        any = _mm256_blendv_epi8(any, _mm256_add_epi8(x, b), f.Up);
        any = _mm256_blendv_epi8(
            any, _mm256_add_epi8(x, _mm256_srli_epi16(_mm256_add_epi16(s.Left, b), 1)), f.Average);
        left = _mm256_blendv_epi8(any, PaethAdd16(x, s.Left, b, s.C), f.Paeth);
        s.C = b;
    }
    s.Before = s.Left;
    s.Left = left;
    // The next step's pixels are read before this step's stores, which for three-byte
    // pixels write four bytes, the fourth the next pixel's first as it was read: one store
    // a pixel, and no read waits on a store it half overlaps. The last step is checked,
    // so no row is read past its last pixel.
    s.Raw = QuadRaw<B, Checked>(rows, n, j + 1);
    __m256i out = s.Left;
    if constexpr (B == 3) out = _mm256_blend_epi16(out, x, 0x88);
    const __m256i packed = _mm256_packus_epi16(out, out);
    const __m128i low = _mm256_castsi256_si128(packed);
    const __m128i high = _mm256_extracti128_si256(packed, 1);
    const int put[4] = {_mm_cvtsi128_si32(low), _mm_extract_epi32(low, 1), _mm_cvtsi128_si32(high),
                        _mm_extract_epi32(high, 1)};
    for (int r = 0; r < 4; ++r) {
        const int64_t k = j - r * kQuadLag;
        if (Checked && (k < 0 || k >= n)) continue;
        if constexpr (B == 3)
            std::memcpy(rows[r] + k * B, &put[r], 4);
        else
            PutLow<B>(rows[r] + k * B, put[r]);
    }
}

// Average and Paeth over four rows at once, UnfilterPair widened: each step takes pixel
// j - r * 2 of row r, so one chain of steps serves four pixels. Every row lags the one
// above by two pixels, which keeps the pixel above, and the lane shuffle that brings it,
// off the chain; for Average too, where one pixel would put the shuffle on it.
template <int B, int Filter>
__attribute__((target("avx2"))) void UnfilterQuad(uint8_t* const rowsIn[4], const uint8_t* prev,
                                                  int64_t n, const uint8_t filters[4]) {
    constexpr int64_t kSpan = 3 * kQuadLag;  // steps the last row trails the first
    // In registers: the stores could otherwise change the caller's array, for all the
    // compiler knows, and every step would read it again.
    uint8_t* const rows[4] = {rowsIn[0], rowsIn[1], rowsIn[2], rowsIn[3]};
    TQuadState s{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                 QuadRaw<B, true>(rows, n, 0)};
    __m256i masks[4];  // the rows of Sub, Up, Average and Paeth
    for (int k = 0; k < 4; ++k) {
        int64_t quarters[4];
        for (int r = 0; r < 4; ++r) quarters[r] = filters[r] == k + 1 ? -1 : 0;
        masks[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quarters));
    }
    const TQuadFilters f{masks[0], masks[1], masks[2], masks[3]};
    int64_t j = 0;
    for (; j < std::min(n, kSpan); ++j) QuadStep<B, Filter, true>(s, f, rows, prev, n, j);
    for (; j + 1 < n; ++j) QuadStep<B, Filter, false>(s, f, rows, prev, n, j);
    for (; j < n + kSpan; ++j) QuadStep<B, Filter, true>(s, f, rows, prev, n, j);
    // Without this the processor keeps the upper halves live, and the SSE code after
    // runs at a fraction of its speed.
    _mm256_zeroupper();
}

template <int B>
void UnfilterQuad(int filter, uint8_t* const rows[4], const uint8_t* prev, int64_t n,
                  const uint8_t filters[4]) {
    if (filter == 3)
        UnfilterQuad<B, 3>(rows, prev, n, filters);
    else if (filter == 4)
        UnfilterQuad<B, 4>(rows, prev, n, filters);
    else
        UnfilterQuad<B, 0>(rows, prev, n, filters);
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
void UnfilterRowFixed(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t len) {
    const int64_t whole = len / B * B;  // rows hold whole pixels but for packed pixels (B = 1)
    int a[B] = {};                      // left
    int c[B] = {};                      // above-left
    int64_t start = 0;                  // where the byte loops begin
#if defined(__SSE2__)
    if constexpr (B > 1) {
        if ((filter == 3 || filter == 4) && prev != nullptr) {
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
        case 1:
            sub();
            break;
        case 2:
            if (prev == nullptr) break;
            for (int64_t i = 0; i < len; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
            break;
        case 3:
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
        case 4:
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
        default:  // 0 and the values no filter has: the bytes stand
            break;
    }
}

}  // namespace

void UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t len, int bpp) {
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

bool UnfilterTwoRows(uint8_t filter, uint8_t* first, uint8_t* second, const uint8_t* prev,
                     int64_t len, int bpp) {
#if defined(__SSE2__)
    if ((filter != 3 && filter != 4) || prev == nullptr) return false;
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

bool UnfilterFourRows(const uint8_t filters[4], uint8_t* const rows[4], const uint8_t* prev,
                      int64_t len, int bpp, const TProcessorFeatures& features) {
#if defined(__SSE2__)
    if (prev == nullptr || features.Width < TVectorWidth::Avx2) return false;
    // One filter for all four, Average or Paeth; or filters that differ, two or more of
    // them chained along the row (Sub, Up and none alone are faster row by row).
    int chained = 0;
    for (int r = 0; r < 4; ++r) {
        if (filters[r] > 4) return false;
        chained += filters[r] >= 3;
    }
    const bool same =
        filters[1] == filters[0] && filters[2] == filters[0] && filters[3] == filters[0];
    if (chained < 2 || (same && chained < 4)) return false;
    const int filter = same ? filters[0] : 0;
    switch (bpp) {
        case 1:
            UnfilterQuad<1>(filter, rows, prev, len, filters);
            return true;
        case 2:
            UnfilterQuad<2>(filter, rows, prev, len / 2, filters);
            return true;
        case 3:
            UnfilterQuad<3>(filter, rows, prev, len / 3, filters);
            return true;
        case 4:
            UnfilterQuad<4>(filter, rows, prev, len / 4, filters);
            return true;
        default:
            return false;
    }
#else
    (void)filters, (void)rows, (void)prev, (void)len, (void)bpp, (void)features;
    return false;
#endif
}

}  // namespace quill
