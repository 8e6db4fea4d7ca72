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

    // DX is the step between the pixels where it is known at compile time (1: a row of
    // a plain image or of pass 7), else 0 and the step is dx.
    template <int DX>
    void StoreFixed(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        if (ColourType == TColourType::Palette ||
            (ColourType == TColourType::Grey && BytesPerPixel == 1))
            StorePacked<DX>(src, line, x0, dx, count);
        else if (ColourType == TColourType::Grey)
            StoreGreyHigh<DX>(src, line, x0, dx, count);
        else if (ColourType == TColourType::GreyAlpha || ColourType == TColourType::Rgba)
            StoreWithAlpha<DX>(src, line, x0, dx, count);
        else
            StoreColour<DX>(src, line, x0, dx, count);
    }

    // Palette indexes and grey of up to 8 bits, s pixels a byte.
    template <int DX>
    void StorePacked(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        const int step = DX > 0 ? DX : dx;
        const int s = SampleStep;
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
    }

    // 16-bit grey: the high byte.
    template <int DX>
    void StoreGreyHigh(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        const int step = DX > 0 ? DX : dx;
        int64_t j = 0;
#if defined(__x86_64__) || defined(__i386__)
        if (step == 1 && Shuffles) j = StoreGrey16(src, line + x0 * 3, count);
#endif
        for (; j < count; ++j) {
            uint8_t* p = line + (x0 + j * step) * 3;
            p[0] = p[1] = p[2] = src[j * 2];
        }
    }

    // Grey with alpha, and red, green, blue, alpha: 32-bit pixels.
    template <int DX>
    void StoreWithAlpha(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        const int step = DX > 0 ? DX : dx;
        const int s = SampleStep;
        const int b = BytesPerPixel;
        if (ColourType == TColourType::GreyAlpha) {
            for (int64_t j = 0; j < count; ++j) {
                const uint8_t* q = src + j * b;
                const uint32_t v = PackPixel(q[0], q[0], q[0], q[s]);
                std::memcpy(line + (x0 + j * step) * 4, &v, 4);
            }
            return;
        }
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
    }

    // Red, green, blue to blue, green, red.
    template <int DX>
    void StoreColour(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        const int step = DX > 0 ? DX : dx;
        const int s = SampleStep;
        const int b = BytesPerPixel;
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
    }

    void Store(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        if (dx == 1)
            StoreFixed<1>(src, line, x0, 1, count);
        else
            StoreFixed<0>(src, line, x0, dx, count);
    }
};

// One decode of whole rows: a buffer of some rows, refilled as rows are decoded, and
// where in the image and in the buffer the next row is.
class TRowDecoder {
  public:
    TRowDecoder(const TDecodeTarget& target, uint64_t room, uint64_t compressed);
    int64_t Run(TStream& inflater);

  private:
    void Settle();
    void DecodeBufferedRows();
    void KeepUnfinishedRow();
    void CountTheRest(TStream& inflater);
    void WalkTheRest();

    const TDecodeTarget& target_;
    const TLayout layout_;
    TRowStore store_;
    const int height_;
    const uint64_t room_;
    const uint64_t chunk_;  // the buffer's size
    std::unique_ptr<uint8_t[]> buffer_;
    // The row above, across refills. Sized when a row is carried, so that it holds only
    // rows the data really had: a header claiming wide rows does not get one by itself.
    TFilterRaw carried_;

    uint64_t total_ = 0;  // inflated so far
    int64_t have_ = 0;    // bytes in the buffer
    int64_t pos_ = 0;     // start of the next row in the buffer
    int pass_ = 0;        // 0-based here
    int y_;
    const uint8_t* prev_ = nullptr;
    bool imageDone_ = false;
    bool ended_ = false;
};

TRowDecoder::TRowDecoder(const TDecodeTarget& target, uint64_t room, uint64_t compressed)
    : target_(target),
      layout_(MakeLayout(target.Header)),
      store_{target.Header.ColourType, target.Header.BitDepth, target.SampleStep,
             target.BytesPerPixel,     target.Features.Ssse3,  {}},
      height_(target.Bitmap.Height()),
      room_(room),
      // Never larger than the room or than what the compressed data can give.
      chunk_(
          std::min({std::max<uint64_t>(kStreamChunk, 2 * static_cast<uint64_t>(layout_.WidestRow)),
                    InflateBound(room, compressed)})),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(chunk_ + kPadding)),
      y_(layout_.Geometry[0].Y0) {
    const TPngHeader& h = target.Header;
    if (h.ColourType == TColourType::Grey && h.BitDepth < 8) {
        const int maxSample = (1 << h.BitDepth) - 1;
        for (int v = 0; v <= maxSample; ++v)
            store_.GreyScale[v] = static_cast<uint8_t>(v * 255 / maxSample);
    }
    Settle();
}

int64_t TRowDecoder::Run(TStream& inflater) {
    uint8_t* data = buffer_.get();
    while (!imageDone_ && !ended_) {
        const auto want = static_cast<int64_t>(
            std::min<uint64_t>(chunk_ - static_cast<uint64_t>(have_), room_ - total_));
        const int64_t got = want > 0 ? inflater.Read(data + have_, want) : 0;
        total_ += static_cast<uint64_t>(got);
        have_ += got;
        ended_ = got < want || total_ == room_ || want == 0;
        DecodeBufferedRows();
        if (imageDone_ || ended_) break;
        KeepUnfinishedRow();
    }
    if (imageDone_)
        CountTheRest(inflater);
    else
        WalkTheRest();
    return static_cast<int64_t>(total_);
}

// Moves to the next pass that has rows, when the current one is finished.
void TRowDecoder::Settle() {
    while (pass_ < layout_.Passes && (layout_.PassWidth[pass_] == 0 || y_ >= height_)) {
        if (++pass_ < layout_.Passes) y_ = layout_.Geometry[pass_].Y0;
        prev_ = nullptr;
    }
    imageDone_ = pass_ >= layout_.Passes;
}

// Every whole row in the buffer.
void TRowDecoder::DecodeBufferedRows() {
    uint8_t* data = buffer_.get();
    const int bpp = target_.BytesPerPixel;
    while (!imageDone_) {
        const TPassGeometry& g = layout_.Geometry[pass_];
        const int64_t rowBytes = layout_.RowBytes[pass_];
        const int64_t width = layout_.PassWidth[pass_];
        if (pos_ + 1 + rowBytes > have_) break;
        const auto filter = static_cast<TFilterType>(data[pos_]);
        target_.FilterTypesSeen.set(data[pos_]);
        uint8_t* row = data + pos_ + 1;
        // The next rows of the pass, when they are here too, are un-filtered alongside
        // this one: three more where they can (of the same filter or of filters that
        // chain), else one of the same filter.
        const int64_t next = pos_ + 1 + rowBytes;
        uint8_t* const four[4] = {row, row + (1 + rowBytes), row + 2 * (1 + rowBytes),
                                  row + 3 * (1 + rowBytes)};
        const bool fourHere =
            prev_ != nullptr && y_ + 3 * g.DY < height_ && pos_ + 4 * (1 + rowBytes) <= have_;
        const auto filterOf = [&](int k) {
            return fourHere ? static_cast<TFilterType>(four[k][-1]) : filter;
        };
        const TFilterType filters[4] = {filter, filterOf(1), filterOf(2), filterOf(3)};
        if (fourHere && UnfilterFourRows(filters, four, prev_, rowBytes, bpp, target_.Features)) {
            for (int k = 1; k < 4; ++k) target_.FilterTypesSeen.set(four[k][-1]);
            for (int k = 0; k < 3; ++k) {
                store_.Store(four[k], target_.Bitmap.ScanLine(y_), g.X0, g.DX, width);
                y_ += g.DY;
            }
            row = four[3];
            pos_ += 3 * (1 + rowBytes);
        } else if (prev_ != nullptr && y_ + g.DY < height_ && next + 1 + rowBytes <= have_ &&
                   data[next] == data[pos_] &&
                   UnfilterTwoRows(filter, row, data + next + 1, prev_, rowBytes, bpp)) {
            store_.Store(row, target_.Bitmap.ScanLine(y_), g.X0, g.DX, width);
            row = data + next + 1;
            y_ += g.DY;
            pos_ = next;
        } else {
            UnfilterRow(filter, row, prev_, rowBytes, bpp);
        }
        store_.Store(row, target_.Bitmap.ScanLine(y_), g.X0, g.DX, width);
        prev_ = row;
        pos_ += 1 + rowBytes;
        y_ += g.DY;
        Settle();
    }
}

// Keeps the unfinished row and the row above it; the refill goes behind them.
void TRowDecoder::KeepUnfinishedRow() {
    uint8_t* data = buffer_.get();
    const auto rowBytes = static_cast<size_t>(layout_.RowBytes[pass_]);
    if (prev_ != nullptr && prev_ != carried_.data()) {
        if (carried_.size() < rowBytes + kPadding) carried_.resize(rowBytes + kPadding);
        std::memcpy(carried_.data(), prev_, rowBytes);
        prev_ = carried_.data();
    }
    std::memmove(data, data + pos_, static_cast<size_t>(have_ - pos_));
    have_ -= pos_;
    pos_ = 0;
}

// Data past the image are inflated only to be counted, up to the room.
void TRowDecoder::CountTheRest(TStream& inflater) {
    while (!ended_) {
        const auto want = static_cast<int64_t>(std::min<uint64_t>(chunk_, room_ - total_));
        const int64_t got = want > 0 ? inflater.Read(buffer_.get(), want) : 0;
        total_ += static_cast<uint64_t>(got);
        ended_ = got < want || total_ == room_ || want == 0;
    }
}

// The data ended inside a row: the walk takes it from the row's start. The walk reaches
// no further into a row than the data left (see WalkPixels).
void TRowDecoder::WalkTheRest() {
    uint8_t* data = buffer_.get();
    TWalkStart start{pass_ + 1, y_, TFilterRaw(WalkRowLength(layout_.WidestRow, have_ - pos_), 0)};
    if (prev_ != nullptr)
        std::memcpy(
            start.PreviousRow.data(), prev_,
            std::min(start.PreviousRow.size(), static_cast<size_t>(layout_.RowBytes[pass_])));
    std::memmove(data, data + pos_, static_cast<size_t>(have_ - pos_));
    have_ -= pos_;
    std::memset(data + have_, 0, kPadding);
    WalkPixels(target_, data, have_, std::move(start));
}

}  // namespace

int64_t DecodeRows(const TDecodeTarget& target, TStream& inflater, uint64_t room,
                   uint64_t compressed) {
    return TRowDecoder(target, room, compressed).Run(inflater);
}

}  // namespace quill
