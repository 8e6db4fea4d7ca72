// The pixel walk: the reader's plain decoder, pixel by pixel, which also takes the rows
// that the row decoder leaves (a row cut short by the end of the data).

#include "png/PixelWalk.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/Bitmap.h"
#include "platform/Stream.h"
#include "png/FilterType.h"
#include "png/ImageLayout.h"
#include "png/Paeth.h"
#include "png/PngChunks.h"

namespace quill {

namespace {

// The walk's place: pass, pixel (x, y), the next byte of the data (i), the pixels taken
// in this row (k), the byte's position in its row (offset) and the row's filter.
class TPixelWalk {
  public:
    TPixelWalk(const TDecodeTarget& target, uint8_t* data, int64_t n, TWalkStart start);
    void Run();

  private:
    void Unfilter(int64_t i, int64_t offset);
    bool RowHasData(int row) const;
    void SkipToPassColumn();
    void TakePixel(uint8_t* line);

    const TDecodeTarget& target_;
    uint8_t* const data_;
    const int64_t n_;
    const int width_, height_, depth_, b_, s_;
    const TColourType colourType_;
    const bool interlaced_;
    const TLayout layout_;
    TFilterRaw current_, previous_;
    int pass_, y_;
    int x_ = 0;
    int64_t i_ = 0, k_ = 0, offset_ = 0;
    TFilterType filter_ = TFilterType::None;
};

TPixelWalk::TPixelWalk(const TDecodeTarget& target, uint8_t* data, int64_t n, TWalkStart start)
    : target_(target),
      data_(data),
      n_(n),
      width_(target.Bitmap.Width()),
      height_(target.Bitmap.Height()),
      depth_(target.Header.BitDepth),
      b_(target.BytesPerPixel),
      s_(target.SampleStep),
      colourType_(target.Header.ColourType),
      interlaced_(target.Header.InterlaceMethod != 0),
      layout_(MakeLayout(target.Header)),
      pass_(start.Pass),
      y_(start.Row) {
    const size_t rowLength =
        b_ == 1 ? static_cast<size_t>(width_ / s_) + 1 : static_cast<size_t>(width_) * b_ + 1;
    current_.assign(WalkRowLength(std::max(static_cast<int64_t>(rowLength), layout_.WidestRow), n),
                    0);
    previous_ = std::move(start.PreviousRow);
    previous_.resize(current_.size(), 0);
}

// Un-filters the byte of the data at i, at offset in its row.
void TPixelWalk::Unfilter(int64_t i, int64_t offset) {
    const size_t at = static_cast<size_t>(offset);
    const int left = offset >= b_ ? current_[at - b_] : 0;
    const int up = previous_[at];
    const int upLeft = offset >= b_ ? previous_[at - b_] : 0;
    int value = data_[i];
    switch (filter_) {
        case TFilterType::Sub:
            value += left;
            break;
        case TFilterType::Up:
            value += up;
            break;
        case TFilterType::Average:
            value += (left + up) / 2;
            break;
        case TFilterType::Paeth:
            value += PaethPredictor(left, up, upLeft);
            break;
        default:
            break;
    }
    data_[i] = static_cast<uint8_t>(value);
    current_[at] = static_cast<uint8_t>(value);
}

// A row holds data in a pass when its place in the pattern has the pass and the pass has
// columns inside the image.
bool TPixelWalk::RowHasData(int row) const {
    if (!interlaced_) return true;
    return ((kPassesOfRow[row & 7] >> (pass_ - 1)) & 1) != 0 && layout_.PassWidth[pass_ - 1] > 0;
}

// Straight to the pass's next column in the row, or to the row's last column when there
// is none (always so in a row without data): stepping through every pixel of every pass
// made a tiny file claiming a large interlaced image cost seconds.
void TPixelWalk::SkipToPassColumn() {
    const TPassGeometry& g = kAdam7[pass_ - 1];
    int next = width_;
    if (RowHasData(y_)) next = x_ < g.X0 ? g.X0 : x_ + (g.DX - (x_ - g.X0) % g.DX) % g.DX;
    x_ = std::min(next, width_ - 1);
}

void TPixelWalk::TakePixel(uint8_t* line) {
    const int64_t i = i_, s = s_, b = b_, x = x_;
    if (colourType_ == TColourType::Palette || (colourType_ == TColourType::Grey && b == 1)) {
        if (k_ % s == 0) Unfilter(i, offset_);
        const int shift = static_cast<int>((s - 1 - k_ % s) * depth_);
        const int sample = (data_[i] >> shift) & ((1 << depth_) - 1);
        if (colourType_ == TColourType::Palette) {
            line[x] = static_cast<uint8_t>(sample);
        } else {
            const auto v = static_cast<uint8_t>(sample * 255 / ((1 << depth_) - 1));
            line[x * 3] = line[x * 3 + 1] = line[x * 3 + 2] = v;
        }
        if ((k_ + 1) % s == 0) {
            ++i_;
            ++offset_;
        }
        return;
    }
    // The first byte of each sample is un-filtered and used: filters work on equal byte
    // positions, so the others do not change it.
    Unfilter(i, offset_);
    if (colourType_ == TColourType::Grey) {
        line[x * 3] = line[x * 3 + 1] = line[x * 3 + 2] = data_[i];
    } else if (colourType_ == TColourType::GreyAlpha) {
        Unfilter(i + s, offset_ + s);
        const uint32_t v = PackPixel(data_[i], data_[i], data_[i], data_[i + s]);
        std::memcpy(line + x * 4, &v, 4);
    } else if (colourType_ == TColourType::Rgba) {
        Unfilter(i + s, offset_ + s);
        Unfilter(i + 2 * s, offset_ + 2 * s);
        Unfilter(i + b - s, offset_ + b - s);
        const uint32_t v = PackPixel(data_[i], data_[i + s], data_[i + 2 * s], data_[i + b - s]);
        std::memcpy(line + x * 4, &v, 4);
    } else {
        Unfilter(i + s, offset_ + s);
        Unfilter(i + 2 * s, offset_ + 2 * s);
        line[x * 3] = data_[i + 2 * s];
        line[x * 3 + 1] = data_[i + s];
        line[x * 3 + 2] = data_[i];
    }
    i_ += b;
    offset_ += b;
}

void TPixelWalk::Run() {
    const int lastPass = interlaced_ ? 7 : 1;
    while (i_ < n_) {
        if (x_ == 0 && RowHasData(y_)) {
            filter_ = static_cast<TFilterType>(data_[i_]);
            target_.FilterTypesSeen.set(data_[i_]);
            ++i_;
        }
        if (interlaced_ && kPassOfPixel[y_ & 7][x_ & 7] != pass_) SkipToPassColumn();
        if (!interlaced_ || kPassOfPixel[y_ & 7][x_ & 7] == pass_) {
            TakePixel(target_.Bitmap.ScanLine(y_));
            ++k_;
        }
        if (++x_ == width_) {
            if (b_ == 1 && k_ % s_ != 0) ++i_;
            if (RowHasData(y_)) previous_ = current_;
            if (++y_ == height_) {
                y_ = 0;
                std::fill(previous_.begin(), previous_.end(), 0);
                // The walk ends with the image: surplus data never start it again.
                if (++pass_ > lastPass) break;
            }
            x_ = 0;
            k_ = 0;
            offset_ = 0;
        }
    }
}

}  // namespace

void WalkPixels(const TDecodeTarget& target, uint8_t* data, int64_t n, TWalkStart start) {
    TPixelWalk(target, data, n, std::move(start)).Run();
}

int64_t InflateAndWalk(const TDecodeTarget& target, TStream& inflater, uint64_t room,
                       uint64_t compressed) {
    // The buffer grows with what the inflater gives, from what the compressed data can
    // give at most, so it is never much larger than the data.
    uint64_t capacity = InflateBound(room, compressed);
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity + kPadding);
    uint64_t have = 0;
    for (;;) {
        have += static_cast<uint64_t>(
            inflater.Read(buffer.get() + have, static_cast<int64_t>(capacity - have)));
        if (have < capacity || capacity == room) break;
        const uint64_t larger = std::min(room, capacity * 2);
        auto grown = std::make_unique_for_overwrite<uint8_t[]>(larger + kPadding);
        std::memcpy(grown.get(), buffer.get(), have);
        buffer = std::move(grown);
        capacity = larger;
    }
    std::memset(buffer.get() + have, 0, kPadding);
    WalkPixels(target, buffer.get(), static_cast<int64_t>(have), TWalkStart{});
    return static_cast<int64_t>(have);
}

}  // namespace quill
