#pragma once

// Where the rows of an image lie in its inflated data, pass by pass, and the bounds both
// decoders size their buffers by.

#include <cstddef>
#include <cstdint>

#include "png/PngHeader.h"

namespace quill {

// zlib cannot inflate a byte to more than about 1032 bytes; the inflated buffer is sized
// by this bound as well as by the image, so that a short file claiming a large image does
// not get a large buffer.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 65536;
// Zero bytes after the inflated data: the pixel walk may look at a pixel's bytes past the
// end of the data when the data end inside it.
constexpr uint64_t kPadding = 16;
// Inflated data are decoded in pieces of this size (or two of the longest rows).
constexpr uint64_t kStreamChunk = 256 * 1024;

// Adam7: the pass of each pixel by (y mod 8, x mod 8).
inline constexpr uint8_t kPassOfPixel[8][8] = {{1, 6, 4, 6, 2, 6, 4, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
                                               {5, 6, 5, 6, 5, 6, 5, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
                                               {3, 6, 4, 6, 3, 6, 4, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
                                               {5, 6, 5, 6, 5, 6, 5, 6}, {7, 7, 7, 7, 7, 7, 7, 7}};
// Adam7: bit p set when row y mod 8 holds pixels of pass p + 1.
inline constexpr uint8_t kPassesOfRow[8] = {0x2B, 0x40, 0x30, 0x40, 0x2C, 0x40, 0x30, 0x40};

// Where a pass's pixels lie: first column and row, and the steps between them.
struct TPassGeometry {
    int X0, Y0, DX, DY;
};
inline constexpr TPassGeometry kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
inline constexpr TPassGeometry kWhole = {0, 0, 1, 1};

// Where each pass's rows lie and how long they are.
struct TLayout {
    int Bits = 0;  // bits per pixel
    int Passes = 1;
    TPassGeometry Geometry[7] = {};
    int64_t PassWidth[7] = {};
    int64_t RowBytes[7] = {};  // without the filter byte
    uint64_t Filtered = 0;     // the whole filtered image, filter bytes included
    int64_t WidestRow = 0;     // the longest row, filter byte included
};

TLayout MakeLayout(const TPngHeader& h);

// The row buffers of the pixel walk: as long as the longest row, but no longer than the
// data the walk has (n bytes) and one pixel's bytes of padding. The walk never reaches
// further into a row than the data it has read, and rows only as long as a header claims
// could be gigabytes for a file of a few bytes.
size_t WalkRowLength(int64_t longestRow, int64_t n);

// Room for the whole filtered image, and at least the customary
// (width + 3) x height x bytesPerPixel, which bounds the count logged.
uint64_t InflateRoom(const TPngHeader& h, int bytesPerPixel);

// A buffer for inflated data: no larger than room, nor than what `compressed` bytes
// can inflate to.
uint64_t InflateBound(uint64_t room, uint64_t compressed);

}  // namespace quill
