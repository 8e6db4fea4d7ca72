#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Palette.h"

namespace quill::test {

// The 16 colours the converter's pictures use, as a palette.
inline HPALETTE SixteenColours() {
    static const uint8_t rgb[16][3] = {{0, 0, 0},    {0, 0, 168},   {168, 0, 0},   {168, 0, 168},
                                       {0, 168, 0},  {0, 168, 168}, {168, 168, 0}, {168, 168, 168},
                                       {16, 16, 16}, {0, 0, 255},   {255, 0, 0},   {255, 0, 255},
                                       {0, 255, 0},  {0, 255, 255}, {255, 255, 0}, {255, 255, 255}};
    TLogPalette log;
    for (const auto& c : rgb) log.palPalEntry.push_back({c[0], c[1], c[2], 0});
    return CreatePalette(log);
}

// A palette of n entries with distinct, irregular colours.
inline HPALETTE DistinctColours(int n) {
    TLogPalette log;
    for (int i = 0; i < n; ++i)
        log.palPalEntry.push_back({static_cast<uint8_t>(i * 7 + 3), static_cast<uint8_t>(255 - i),
                                   static_cast<uint8_t>(i * 13), 0});
    return CreatePalette(log);
}

// A bitmap of the given format with pseudo-random pixels (palette formats: indexes
// below colours) and, for palette formats, a palette of that many colours.
inline void FillRandom(TBitmap& bitmap, TPixelFormat format, int width, int height, unsigned seed,
                       int colours = 16) {
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    if (format == pf4bit || format == pf8bit) bitmap.SetPalette(DistinctColours(colours));
    std::mt19937 rng(seed);
    const int bits = TBitmap::BitsPerPixel(format);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        if (bits == 4) {
            for (int x = 0; x < width; ++x) {
                const auto v = static_cast<uint8_t>(rng() % static_cast<unsigned>(colours));
                row[x / 2] = static_cast<uint8_t>(x % 2 ? (row[x / 2] & 0xF0) | v : v << 4);
            }
        } else if (bits == 8) {
            for (int x = 0; x < width; ++x) row[x] = static_cast<uint8_t>(rng() % colours);
        } else {
            for (int i = 0; i < width * bits / 8; ++i) row[i] = static_cast<uint8_t>(rng());
        }
    }
}

}  // namespace quill::test
