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

void WalkPixels(const TDecodeTarget& target, uint8_t* data, int64_t n, TWalkStart start) {
    const int width = target.Bitmap.Width();
    const int height = target.Bitmap.Height();
    const int depth = target.Header.BitDepth;
    const TColourType colourType = target.Header.ColourType;
    const int b = target.BytesPerPixel;
    const int s = target.SampleStep;
    const bool interlaced = target.Header.InterlaceMethod != 0;
    const int lastPass = interlaced ? 7 : 1;
    const TLayout layout = MakeLayout(target.Header);

    TFilterRaw current;
    TFilterRaw previous;
    // Un-filters the byte of the data at i, at offset in its row.
    auto unfilter = [&](TFilterType filter, int64_t i, int64_t offset) {
        const size_t at = static_cast<size_t>(offset);
        const int left = offset >= b ? current[at - b] : 0;
        const int up = previous[at];
        const int upLeft = offset >= b ? previous[at - b] : 0;
        int value = data[i];
        switch (filter) {
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
        data[i] = static_cast<uint8_t>(value);
        current[at] = static_cast<uint8_t>(value);
    };

    const size_t rowLength =
        b == 1 ? static_cast<size_t>(width / s) + 1 : static_cast<size_t>(width) * b + 1;
    current.assign(WalkRowLength(std::max(static_cast<int64_t>(rowLength), layout.WidestRow), n),
                   0);
    previous = std::move(start.PreviousRow);
    previous.resize(current.size(), 0);

    int pass = start.Pass;
    int y = start.Row;
    // A row holds data in a pass when its place in the pattern has the pass and the pass
    // has columns inside the image.
    auto rowHasData = [&](int row) {
        if (!interlaced) return true;
        return ((kPassesOfRow[row & 7] >> (pass - 1)) & 1) != 0 && layout.PassWidth[pass - 1] > 0;
    };

    int64_t i = 0;
    int x = 0;
    int64_t k = 0;
    int64_t offset = 0;
    TFilterType f = TFilterType::None;
    while (i < n) {
        if (x == 0 && rowHasData(y)) {
            f = static_cast<TFilterType>(data[i]);
            target.FilterTypesSeen.set(data[i]);
            ++i;
        }
        if (interlaced && kPassOfPixel[y & 7][x & 7] != pass) {
            // Straight to the pass's next column in the row, or to the row's last column
            // when there is none (always so in a row without data): stepping through
            // every pixel of every pass made a tiny file claiming a large interlaced
            // image cost seconds.
            const TPassGeometry& g = kAdam7[pass - 1];
            int next = width;
            if (rowHasData(y)) next = x < g.X0 ? g.X0 : x + (g.DX - (x - g.X0) % g.DX) % g.DX;
            x = std::min(next, width - 1);
        }
        if (!interlaced || kPassOfPixel[y & 7][x & 7] == pass) {
            uint8_t* line = target.Bitmap.ScanLine(y);
            if (colourType == TColourType::Palette || (colourType == TColourType::Grey && b == 1)) {
                if (k % s == 0) unfilter(f, i, offset);
                const int shift = static_cast<int>((s - 1 - k % s) * depth);
                const int sample = (data[i] >> shift) & ((1 << depth) - 1);
                if (colourType == TColourType::Palette) {
                    line[x] = static_cast<uint8_t>(sample);
                } else {
                    const auto v = static_cast<uint8_t>(sample * 255 / ((1 << depth) - 1));
                    line[x * 3] = line[x * 3 + 1] = line[x * 3 + 2] = v;
                }
                if ((k + 1) % s == 0) {
                    ++i;
                    ++offset;
                }
            } else if (colourType == TColourType::Grey) {
                unfilter(f, i, offset);
                line[x * 3] = line[x * 3 + 1] = line[x * 3 + 2] = data[i];
                i += b;
                offset += b;
            } else if (colourType == TColourType::GreyAlpha) {
                unfilter(f, i, offset);
                unfilter(f, i + s, offset + s);
                const uint32_t v = PackPixel(data[i], data[i], data[i], data[i + s]);
                std::memcpy(line + x * 4, &v, 4);
                i += b;
                offset += b;
            } else if (colourType == TColourType::Rgba) {
                unfilter(f, i, offset);
                unfilter(f, i + s, offset + s);
                unfilter(f, i + 2 * s, offset + 2 * s);
                unfilter(f, i + b - s, offset + b - s);
                const uint32_t v =
                    PackPixel(data[i], data[i + s], data[i + 2 * s], data[i + b - s]);
                std::memcpy(line + x * 4, &v, 4);
                i += b;
                offset += b;
            } else {
                unfilter(f, i, offset);
                unfilter(f, i + s, offset + s);
                unfilter(f, i + 2 * s, offset + 2 * s);
                line[x * 3] = data[i + 2 * s];
                line[x * 3 + 1] = data[i + s];
                line[x * 3 + 2] = data[i];
                i += b;
                offset += b;
            }
            ++k;
        }
        if (++x == width) {
            if (b == 1 && k % s != 0) ++i;
            if (rowHasData(y)) previous = current;
            if (++y == height) {
                y = 0;
                std::fill(previous.begin(), previous.end(), 0);
                // The walk ends with the image: surplus data never start it again.
                if (++pass > lastPass) break;
            }
            x = 0;
            k = 0;
            offset = 0;
        }
    }
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
