// The row decoder: the reader's fast path, whole rows at a time as the inflater gives
// them, byte for byte and pixel for pixel what the pixel walk does.

#include "png/RowDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/Bitmap.h"
#include "platform/Stream.h"
#include "png/FilterType.h"
#include "png/FourRowUnfilter.h"
#include "png/ImageLayout.h"
#include "png/PngChunks.h"
#include "png/RowUnfilter.h"

namespace quill {

namespace {

#if defined(__x86_64__) || defined(__i386__)
// 16-bit grey to three equal bytes a pixel, sixteen pixels a step: the high bytes (the
// first of each sample) packed together, then spread three times each by shuffles.
// Answers how many pixels it stored; the byte loop does the rest.
__attribute__((target("ssse3"))) int64_t StoreGrey16(const uint8_t* src, uint8_t* p,
                                                     int64_t count) {
    const __m128i low = _mm_set1_epi16(0xFF);
    const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i spread2 =
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    int64_t j = 0;
    for (; j + 16 <= count; j += 16, src += 32, p += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
        const __m128i v = _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(v, spread0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_shuffle_epi8(v, spread1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), _mm_shuffle_epi8(v, spread2));
    }
    return j;
}

// Red, green, blue to blue, green, red, five pixels a step: each step writes sixteen
// bytes, the last of them the next pixel's first, which the next step writes again.
// Answers how many pixels it stored.
__attribute__((target("ssse3"))) int64_t StoreRgb(const uint8_t* src, uint8_t* p, int64_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int64_t j = 0;
    for (; j + 6 <= count; j += 5, src += 15, p += 15) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(v, order));
    }
    return j;
}

// Red, green, blue to blue, green, red at every DX-th bitmap pixel (the interlaced passes),
// 48 bitmap bytes a step in three 16-byte windows: the row's pixels shuffled into place,
// merged with the pixels between, which belong to other passes and are written back as
// they were read. Answers how many pixels it stored.
template <int DX>
__attribute__((target("ssse3"))) int64_t StoreRgbSpread(const uint8_t* src, uint8_t* p,
                                                        int64_t count) {
    constexpr int kPixels = 16 / DX;  // a step's
    // Window w takes its bytes from src, or for DX = 2 from src + 8 past the first window
    // (a step reads 24 bytes then); -1 keeps the bitmap's byte.
    constexpr auto kOrder = [] {
        std::array<int8_t, 48> order{};
        for (int d = 0; d < 48; ++d) {
            const int pixel = d / (3 * DX), within = d % (3 * DX);
            const int from = DX == 2 && d >= 16 ? 8 : 0;
            order[d] = static_cast<int8_t>(within < 3 ? 3 * pixel + 2 - within - from : -1);
        }
        return order;
    }();
    // Steps go on while the last window, which ends on a pixel between, lies inside the
    // row, and the 16-byte loads inside the source row.
    constexpr int64_t kAhead = DX == 2 ? 9 : 6;
    __m128i order[3], keep[3];
    for (int w = 0; w < 3; ++w) {
        order[w] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kOrder.data() + 16 * w));
        keep[w] = _mm_cmplt_epi8(order[w], _mm_setzero_si128());
    }
    int64_t j = 0;
    for (; j + kAhead <= count; j += kPixels, src += 3 * kPixels, p += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i b = DX == 2 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8)) : a;
        for (int w = 0; w < 3; ++w) {
            auto* q = reinterpret_cast<__m128i*>(p + 16 * w);
            const __m128i kept = _mm_and_si128(_mm_loadu_si128(q), keep[w]);
            _mm_storeu_si128(q, _mm_or_si128(kept, _mm_shuffle_epi8(w == 0 ? a : b, order[w])));
        }
    }
    return j;
}

// Red, green, blue, alpha to blue, green, red, alpha, four pixels a step.
__attribute__((target("ssse3"))) int64_t StoreRgba(const uint8_t* src, uint8_t* p, int64_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    int64_t j = 0;
    for (; j + 4 <= count; j += 4, src += 16, p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(v, order));
    }
    return j;
}

#endif

// Stores `count` pixels of an un-filtered row into a bitmap row, the j-th at x0 + j * dx.
struct TRowStore {
    TColourType ColourType;
    int Depth;
    int SampleStep;
    int BytesPerPixel;
    bool Shuffles;           // the byte shuffles of SSSE3 may run
    uint8_t GreyScale[256];  // a packed grey sample scaled to 0..255

    template <int DX>
    void StoreFixed(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        const int step = DX > 0 ? DX : dx;
        const int s = SampleStep;
        const int b = BytesPerPixel;
        if (ColourType == TColourType::Palette || (ColourType == TColourType::Grey && b == 1)) {
            const int d = Depth;
            const bool grey = ColourType == TColourType::Grey;
            if (d == 8) {
                // The palette's indexes are the bitmap's bytes: a copy where the pixels
                // are adjacent (a loop testing for grey on every byte was not one).
                if (!grey && step == 1) {
                    std::memcpy(line + x0, src, static_cast<size_t>(count));
                } else if (!grey) {
                    for (int64_t j = 0; j < count; ++j) line[x0 + j * step] = src[j];
                } else {
                    for (int64_t j = 0; j < count; ++j) {
                        uint8_t* p = line + (x0 + j * step) * 3;
                        p[0] = p[1] = p[2] = src[j];
                    }
                }
                return;
            }
            const int mask = (1 << d) - 1;
            for (int64_t j = 0; j < count; ++j) {
                const int shift = static_cast<int>((s - 1 - j % s) * d);
                const int sample = (src[j / s] >> shift) & mask;
                if (grey) {
                    uint8_t* p = line + (x0 + j * step) * 3;
                    p[0] = p[1] = p[2] = GreyScale[sample];
                } else {
                    line[x0 + j * step] = static_cast<uint8_t>(sample);
                }
            }
            return;
        }
        switch (ColourType) {
            case TColourType::Grey: {  // 16-bit: the high byte
                int64_t j = 0;
#if defined(__x86_64__) || defined(__i386__)
                if (step == 1 && Shuffles) j = StoreGrey16(src, line + x0 * 3, count);
#endif
                for (; j < count; ++j) {
                    uint8_t* p = line + (x0 + j * step) * 3;
                    p[0] = p[1] = p[2] = src[j * 2];
                }
                return;
            }
            case TColourType::GreyAlpha:
                for (int64_t j = 0; j < count; ++j) {
                    const uint8_t* q = src + j * b;
                    const uint32_t v = PackPixel(q[0], q[0], q[0], q[s]);
                    std::memcpy(line + (x0 + j * step) * 4, &v, 4);
                }
                return;
            case TColourType::Rgba:
                if (s == 1) {
                    int64_t j = 0;
#if defined(__x86_64__) || defined(__i386__)
                    if (step == 1 && Shuffles) j = StoreRgba(src, line + x0 * 4, count);
#endif
                    for (; j < count; ++j) {
                        const uint8_t* q = src + j * 4;
                        uint8_t* p = line + (x0 + j * step) * 4;
                        p[0] = q[2];
                        p[1] = q[1];
                        p[2] = q[0];
                        p[3] = q[3];
                    }
                    return;
                }
                for (int64_t j = 0; j < count; ++j) {
                    const uint8_t* q = src + j * b;
                    const uint32_t v = PackPixel(q[0], q[s], q[2 * s], q[b - s]);
                    std::memcpy(line + (x0 + j * step) * 4, &v, 4);
                }
                return;
            default:  // Rgb: red, green, blue to blue, green, red
                if (s == 1 && step == 1) {
                    // A pixel a word: its three bytes and the next pixel's first, reversed
                    // and shifted down; the fourth byte written is the next pixel's place.
                    uint8_t* p = line + x0 * 3;
                    int64_t j = 0;
#if defined(__x86_64__) || defined(__i386__)
                    if (Shuffles) {
                        j = StoreRgb(src, p, count);
                        src += j * 3;
                        p += j * 3;
                    }
#endif
                    for (; j + 1 < count; ++j, src += 3, p += 3) {
                        uint32_t v;
                        std::memcpy(&v, src, 4);
                        v = __builtin_bswap32(v) >> 8;
                        std::memcpy(p, &v, 4);
                    }
                    if (count > 0) {
                        p[0] = src[2];
                        p[1] = src[1];
                        p[2] = src[0];
                    }
                    return;
                }
                int64_t j = 0;
#if defined(__x86_64__) || defined(__i386__)
                if (s == 1 && Shuffles) {
                    if (step == 2) j = StoreRgbSpread<2>(src, line + x0 * 3, count);
                    if (step == 4) j = StoreRgbSpread<4>(src, line + x0 * 3, count);
                    if (step == 8) j = StoreRgbSpread<8>(src, line + x0 * 3, count);
                }
#endif
                for (; j < count; ++j) {
                    const uint8_t* q = src + j * b;
                    uint8_t* p = line + (x0 + j * step) * 3;
                    p[0] = q[2 * s];
                    p[1] = q[s];
                    p[2] = q[0];
                }
                return;
        }
    }

    void Store(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        if (dx == 1)
            StoreFixed<1>(src, line, x0, 1, count);
        else
            StoreFixed<0>(src, line, x0, dx, count);
    }
};

}  // namespace

int64_t DecodeRows(const TDecodeTarget& target, TStream& inflater, uint64_t room,
                   uint64_t compressed) {
    const TPngHeader& h = target.Header;
    const TLayout layout = MakeLayout(h);
    TRowStore store{h.ColourType,          h.BitDepth, target.SampleStep, target.BytesPerPixel,
                    target.Features.Ssse3, {}};
    if (h.ColourType == TColourType::Grey && h.BitDepth < 8) {
        const int maxSample = (1 << h.BitDepth) - 1;
        for (int v = 0; v <= maxSample; ++v)
            store.GreyScale[v] = static_cast<uint8_t>(v * 255 / maxSample);
    }
    const int height = target.Bitmap.Height();

    // A buffer of some rows, refilled as rows are decoded; never larger than the room or
    // than what the compressed data can give.
    const uint64_t chunk =
        std::min({std::max<uint64_t>(kStreamChunk, 2 * static_cast<uint64_t>(layout.WidestRow)),
                  InflateBound(room, compressed)});
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(chunk + kPadding);
    uint8_t* data = buffer.get();
    // The row above, across refills. Sized when a row is carried, so that it holds only
    // rows the data really had: a header claiming wide rows does not get one by itself.
    TFilterRaw carried;

    uint64_t total = 0;  // inflated so far
    int64_t have = 0;    // bytes in the buffer
    int64_t pos = 0;     // start of the next row in the buffer
    int pass = 0;        // 0-based here
    int y = layout.Geometry[0].Y0;
    const uint8_t* prev = nullptr;
    bool imageDone = false;
    bool ended = false;

    // Moves to the next pass that has rows, when the current one is finished.
    auto settle = [&] {
        while (pass < layout.Passes && (layout.PassWidth[pass] == 0 || y >= height)) {
            if (++pass < layout.Passes) y = layout.Geometry[pass].Y0;
            prev = nullptr;
        }
        imageDone = pass >= layout.Passes;
    };
    settle();

    while (!imageDone && !ended) {
        const auto want = static_cast<int64_t>(
            std::min<uint64_t>(chunk - static_cast<uint64_t>(have), room - total));
        const int64_t got = want > 0 ? inflater.Read(data + have, want) : 0;
        total += static_cast<uint64_t>(got);
        have += got;
        ended = got < want || total == room || want == 0;

        while (!imageDone) {
            const TPassGeometry& g = layout.Geometry[pass];
            const int64_t rowBytes = layout.RowBytes[pass];
            if (pos + 1 + rowBytes > have) break;
            const auto filter = static_cast<TFilterType>(data[pos]);
            target.FilterTypesSeen.set(data[pos]);
            uint8_t* row = data + pos + 1;
            // The next rows of the pass, when they are here too, are un-filtered alongside
            // this one: three more where they can (of the same filter or of filters that
            // chain), else one of the same filter.
            const int64_t next = pos + 1 + rowBytes;
            uint8_t* const four[4] = {row, row + (1 + rowBytes), row + 2 * (1 + rowBytes),
                                      row + 3 * (1 + rowBytes)};
            const bool fourHere =
                prev != nullptr && y + 3 * g.DY < height && pos + 4 * (1 + rowBytes) <= have;
            const auto filterOf = [&](int k) {
                return fourHere ? static_cast<TFilterType>(four[k][-1]) : filter;
            };
            const TFilterType filters[4] = {filter, filterOf(1), filterOf(2), filterOf(3)};
            if (fourHere && UnfilterFourRows(filters, four, prev, rowBytes, target.BytesPerPixel,
                                             target.Features)) {
                for (int k = 1; k < 4; ++k) target.FilterTypesSeen.set(four[k][-1]);
                for (int k = 0; k < 3; ++k) {
                    store.Store(four[k], target.Bitmap.ScanLine(y), g.X0, g.DX,
                                layout.PassWidth[pass]);
                    y += g.DY;
                }
                row = four[3];
                pos += 3 * (1 + rowBytes);
            } else if (prev != nullptr && y + g.DY < height && next + 1 + rowBytes <= have &&
                       data[next] == data[pos] &&
                       UnfilterTwoRows(filter, row, data + next + 1, prev, rowBytes,
                                       target.BytesPerPixel)) {
                store.Store(row, target.Bitmap.ScanLine(y), g.X0, g.DX, layout.PassWidth[pass]);
                row = data + next + 1;
                y += g.DY;
                pos = next;
            } else {
                UnfilterRow(filter, row, prev, rowBytes, target.BytesPerPixel);
            }
            store.Store(row, target.Bitmap.ScanLine(y), g.X0, g.DX, layout.PassWidth[pass]);
            prev = row;
            pos += 1 + rowBytes;
            y += g.DY;
            settle();
        }
        if (imageDone || ended) break;

        // Keep the unfinished row and the row above it; refill behind them.
        if (prev != nullptr && prev != carried.data()) {
            if (carried.size() < static_cast<size_t>(layout.RowBytes[pass]) + kPadding)
                carried.resize(static_cast<size_t>(layout.RowBytes[pass]) + kPadding);
            std::memcpy(carried.data(), prev, static_cast<size_t>(layout.RowBytes[pass]));
            prev = carried.data();
        }
        std::memmove(data, data + pos, static_cast<size_t>(have - pos));
        have -= pos;
        pos = 0;
    }

    if (imageDone) {
        // Data past the image are inflated only to be counted, up to the room.
        while (!ended) {
            const auto want = static_cast<int64_t>(std::min<uint64_t>(chunk, room - total));
            const int64_t got = want > 0 ? inflater.Read(data, want) : 0;
            total += static_cast<uint64_t>(got);
            ended = got < want || total == room || want == 0;
        }
        return static_cast<int64_t>(total);
    }

    // The data ended inside a row: the walk takes it from the row's start.
    // The walk reaches no further into a row than the data left (see WalkPixels).
    TWalkStart start{pass + 1, y, TFilterRaw(WalkRowLength(layout.WidestRow, have - pos), 0)};
    if (prev != nullptr)
        std::memcpy(start.PreviousRow.data(), prev,
                    std::min(start.PreviousRow.size(), static_cast<size_t>(layout.RowBytes[pass])));
    std::memmove(data, data + pos, static_cast<size_t>(have - pos));
    have -= pos;
    std::memset(data + have, 0, kPadding);
    WalkPixels(target, data, have, std::move(start));
    return static_cast<int64_t>(total);
}

}  // namespace quill
