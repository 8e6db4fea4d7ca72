#include "platform/Canvas.h"

#include <algorithm>
#include <cstring>

#include "platform/Bitmap.h"
#include "platform/PixelAccess.h"

namespace quill {

TColor TCanvas::Pixel(int x, int y) const {
    // Outside the bitmap there is no colour: the "invalid colour" value.
    if (x < 0 || y < 0 || x >= owner_.Width() || y >= owner_.Height()) return 0xFFFFFFFFu;
    const uint32_t c = ReadPixelColour(owner_, x, y);
    return ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
    // Work in 64 bits so that no rectangle, however odd, overflows.
    int64_t w =
        std::min(int64_t{dest.Right} - dest.Left, int64_t{sourceRect.Right} - sourceRect.Left);
    int64_t h =
        std::min(int64_t{dest.Bottom} - dest.Top, int64_t{sourceRect.Bottom} - sourceRect.Top);
    int64_t sx = sourceRect.Left, sy = sourceRect.Top, dx = dest.Left, dy = dest.Top;
    // Clip the left and top edges of both rectangles, moving the other one along.
    auto clipStart = [](int64_t& a, int64_t& b, int64_t& size) {
        const int64_t cut = std::max({int64_t{0}, -a, -b});
        a += cut;
        b += cut;
        size -= cut;
    };
    clipStart(sx, dx, w);
    clipStart(sy, dy, h);
    const TBitmap& from = source.owner_;
    w = std::min({w, from.Width() - sx, owner_.Width() - dx});
    h = std::min({h, from.Height() - sy, owner_.Height() - dy});
    if (w <= 0 || h <= 0) return;

    // A copy within one bitmap reads from a snapshot, so overlapping areas come out right.
    TBitmap snapshot;
    const TBitmap* src = &from;
    if (&from == &owner_) {
        snapshot.Assign(from);
        src = &snapshot;
    }
    const TPixelFormat srcFormat = src->PixelFormat(), dstFormat = owner_.PixelFormat();
    const int srcBits = TBitmap::BitsPerPixel(srcFormat);
    const int dstBits = TBitmap::BitsPerPixel(dstFormat);
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    const int x1 = static_cast<int>(dx), y1 = static_cast<int>(dy);
    const int width = static_cast<int>(w), height = static_cast<int>(h);

    if (srcFormat == dstFormat && srcBits % 8 == 0) {
        const int bytes = srcBits / 8;
        for (int y = 0; y < height; ++y)
            std::memcpy(owner_.ScanLine(y1 + y) + int64_t{x1} * bytes,
                        src->ScanLine(y0 + y) + int64_t{x0} * bytes,
                        static_cast<size_t>(width) * bytes);
        return;
    }
    const bool indexes = IsPaletteFormat(srcFormat) && IsPaletteFormat(dstFormat);
    TPixelColourWriter writer(owner_);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = src->ScanLine(y0 + y);
        uint8_t* out = owner_.ScanLine(y1 + y);
        for (int x = 0; x < width; ++x) {
            if (indexes) {
                // Palette to palette keeps the index where the destination can hold it.
                const int index = ReadIndex(in, x0 + x, srcBits);
                if (index < (1 << dstBits)) {
                    WriteIndex(out, x1 + x, dstBits, index);
                    continue;
                }
            }
            writer.Write(x1 + x, y1 + y, ReadPixelColour(*src, x0 + x, y0 + y));
        }
    }
}

}  // namespace quill
