// The four-row un-filter: Average and Paeth over four rows at once in 256-bit lanes.
#include "png/FourRowUnfilter.h"

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

// What the four rows of one call have: all Average, all Paeth, or filters that differ.
enum class TQuadKind { Average, Paeth, Mixed };

// For rows of different filters: the quarters of the rows of each.
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
template <int B, TQuadKind Kind, bool Checked>
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
    if constexpr (Kind == TQuadKind::Average) {
        // Byte adds in lanes whose high bytes are 0: the sum modulo 256, no mask.
        left = _mm256_add_epi8(x, _mm256_srli_epi16(_mm256_add_epi16(s.Left, b), 1));
    } else if constexpr (Kind == TQuadKind::Paeth) {
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
template <int B, TQuadKind Kind>
__attribute__((target("avx2"))) void UnfilterQuad(uint8_t* const rowsIn[4], const uint8_t* prev,
                                                  int64_t n, const TFilterType filters[4]) {
    constexpr int64_t kSpan = 3 * kQuadLag;  // steps the last row trails the first
    // In registers: the stores could otherwise change the caller's array, for all the
    // compiler knows, and every step would read it again.
    uint8_t* const rows[4] = {rowsIn[0], rowsIn[1], rowsIn[2], rowsIn[3]};
    TQuadState s{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                 QuadRaw<B, true>(rows, n, 0)};
    constexpr TFilterType kEach[4] = {TFilterType::Sub, TFilterType::Up, TFilterType::Average,
                                      TFilterType::Paeth};
    __m256i masks[4];  // the rows of each
    for (int k = 0; k < 4; ++k) {
        int64_t quarters[4];
        for (int r = 0; r < 4; ++r) quarters[r] = filters[r] == kEach[k] ? -1 : 0;
        masks[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quarters));
    }
    const TQuadFilters f{masks[0], masks[1], masks[2], masks[3]};
    int64_t j = 0;
    for (; j < std::min(n, kSpan); ++j) QuadStep<B, Kind, true>(s, f, rows, prev, n, j);
    for (; j + 1 < n; ++j) QuadStep<B, Kind, false>(s, f, rows, prev, n, j);
    for (; j < n + kSpan; ++j) QuadStep<B, Kind, true>(s, f, rows, prev, n, j);
    // Without this the processor keeps the upper halves live, and the SSE code after
    // runs at a fraction of its speed.
    _mm256_zeroupper();
}

template <int B>
void UnfilterQuad(TQuadKind kind, uint8_t* const rows[4], const uint8_t* prev, int64_t n,
                  const TFilterType filters[4]) {
    if (kind == TQuadKind::Average)
        UnfilterQuad<B, TQuadKind::Average>(rows, prev, n, filters);
    else if (kind == TQuadKind::Paeth)
        UnfilterQuad<B, TQuadKind::Paeth>(rows, prev, n, filters);
    else
        UnfilterQuad<B, TQuadKind::Mixed>(rows, prev, n, filters);
}
#endif

}  // namespace

bool UnfilterFourRows(const TFilterType filters[4], uint8_t* const rows[4], const uint8_t* prev,
                      int64_t len, int bpp, const TProcessorFeatures& features) {
#if defined(__SSE2__)
    if (prev == nullptr || features.Width < TVectorWidth::Avx2) return false;
    // One filter for all four, Average or Paeth; or filters that differ, two or more of
    // them chained along the row (Sub, Up and none alone are faster row by row).
    int chained = 0;
    for (int r = 0; r < 4; ++r) {
        if (filters[r] > TFilterType::Paeth) return false;
        chained += filters[r] >= TFilterType::Average;
    }
    const bool same =
        filters[1] == filters[0] && filters[2] == filters[0] && filters[3] == filters[0];
    if (chained < 2 || (same && chained < 4)) return false;
    const TQuadKind kind = !same                                ? TQuadKind::Mixed
                           : filters[0] == TFilterType::Average ? TQuadKind::Average
                                                                : TQuadKind::Paeth;
    switch (bpp) {
        case 1:
            UnfilterQuad<1>(kind, rows, prev, len, filters);
            return true;
        case 2:
            UnfilterQuad<2>(kind, rows, prev, len / 2, filters);
            return true;
        case 3:
            UnfilterQuad<3>(kind, rows, prev, len / 3, filters);
            return true;
        case 4:
            UnfilterQuad<4>(kind, rows, prev, len / 4, filters);
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
