#pragma once

#include <cstdint>
#include <unordered_map>

#include "platform/Bitmap.h"

namespace quill {

// Per-pixel access in a common colour form, for the rare paths that convert between
// pixel formats (format changes, copies between bitmaps of different formats). The
// colour is a 32-bit value alpha << 24 | red << 16 | green << 8 | blue, so that it lies
// in memory as a 32-bit pixel does. Formats without alpha read as opaque.

// The colour at (x, y); (x, y) must lie inside the bitmap.
uint32_t ReadPixelColour(const TBitmap& bitmap, int x, int y);

// Stores colours into one bitmap; palette formats get the nearest palette entry.
class TPixelColourWriter {
  public:
    explicit TPixelColourWriter(TBitmap& bitmap) : bitmap_(bitmap) {}
    void Write(int x, int y, uint32_t colour);

  private:
    int NearestIndex(uint32_t colour);

    TBitmap& bitmap_;
    std::unordered_map<uint32_t, uint8_t> nearest_;
};

// Reads and writes the index of a pixel in a palette format (1, 4 or 8 bits).
inline int ReadIndex(const uint8_t* row, int x, int bits) {
    switch (bits) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
        default:
            return row[x];
    }
}
inline void WriteIndex(uint8_t* row, int x, int bits, int index) {
    switch (bits) {
        case 1: {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] =
                static_cast<uint8_t>(index & 1 ? row[x >> 3] | mask : row[x >> 3] & ~mask);
            break;
        }
        case 4:
            row[x >> 1] = static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0xF0) | (index & 0x0F)
                                                       : (row[x >> 1] & 0x0F) | (index << 4));
            break;
        default:
            row[x] = static_cast<uint8_t>(index);
    }
}

inline bool IsPaletteFormat(TPixelFormat format) {
    return format == pf1bit || format == pf4bit || format == pf8bit;
}

}  // namespace quill
