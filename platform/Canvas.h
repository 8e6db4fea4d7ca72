#pragma once

#include <cstdint>

namespace quill {

class TBitmap;

// A colour as the canvas reports it: red in the low byte, then green, then blue.
using TColor = uint32_t;

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// The drawing surface of one bitmap.
class TCanvas {
  public:
    explicit TCanvas(TBitmap& owner) : owner_(owner) {}

    // The colour shown at (x, y); palette formats go through the palette.
    TColor Pixel(int x, int y) const;

    // Unscaled copy of source's rectangle onto dest's rectangle of this canvas.
    // Parts outside either bitmap are clipped: never read or written out of bounds.
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);

  private:
    TBitmap& owner_;
};

}  // namespace quill
