#include "png/ImageLayout.h"

#include <algorithm>

namespace quill {

namespace {

int Channels(TColourType colourType) {
    switch (colourType) {
        case TColourType::Rgb:
            return 3;
        case TColourType::GreyAlpha:
            return 2;
        case TColourType::Rgba:
            return 4;
        default:
            return 1;
    }
}

// Pixels or rows of a pass in an extent of `size` (0 when the pass has none there).
int64_t PassCount(uint32_t size, int start, int step) {
    return size > static_cast<uint32_t>(start) ? (int64_t{size} - start + step - 1) / step : 0;
}

// Bytes of one filtered row of `pixels` pixels, without its filter byte.
int64_t RowBytes(int64_t pixels, int bitsPerPixel) {
    return (pixels * bitsPerPixel + 7) / 8;
}

}  // namespace

size_t WalkRowLength(int64_t longestRow, int64_t n) {
    return static_cast<size_t>(std::min(longestRow, n)) + kPadding;
}

TLayout MakeLayout(const TPngHeader& h) {
    TLayout l;
    l.Bits = h.BitDepth * Channels(h.ColourType);
    l.Passes = h.InterlaceMethod != 0 ? 7 : 1;
    for (int p = 0; p < l.Passes; ++p) {
        l.Geometry[p] = h.InterlaceMethod != 0 ? kAdam7[p] : kWhole;
        const TPassGeometry& g = l.Geometry[p];
        l.PassWidth[p] = PassCount(h.Width, g.X0, g.DX);
        l.RowBytes[p] = RowBytes(l.PassWidth[p], l.Bits);
        // A pass without columns has no rows, however many image rows it touches.
        if (l.PassWidth[p] > 0) {
            l.Filtered +=
                static_cast<uint64_t>(PassCount(h.Height, g.Y0, g.DY)) * (1 + l.RowBytes[p]);
            l.WidestRow = std::max(l.WidestRow, 1 + l.RowBytes[p]);
        }
    }
    return l;
}

uint64_t InflateRoom(const TPngHeader& h, int bytesPerPixel) {
    const uint64_t customary =
        (uint64_t{h.Width} + 3) * h.Height * static_cast<uint64_t>(bytesPerPixel);
    return std::max(MakeLayout(h).Filtered, customary);
}

uint64_t InflateBound(uint64_t room, uint64_t compressed) {
    return std::min(room, compressed * kMaxInflateRatio + kInflateSlack);
}

}  // namespace quill
