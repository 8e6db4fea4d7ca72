#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/Palette.h"

namespace quill {

// A palette image as the compact writer takes it: Width palette indexes a row, one byte
// each, rows from the top, Stride bytes from the start of one row to the next.
struct TIndexImage {
    const uint8_t* Indexes = nullptr;
    int Width = 0;
    int Height = 0;
    int64_t Stride = 0;
};

// A palette image as a small PNG, in memory: a palette chunk of only the colours the
// image shows (indexes of one colour share an entry), in the order of their lowest index;
// the fewest bits a pixel that hold them (1 for up to 2 colours, 2 for up to 4, 4 for up
// to 16, else 8); filter None on every row; zlib level 9 (or level) in one IDAT chunk. palette
// gives the colour of each index, and an index beyond it shows black, as in TPNG's files, so both
// show the same colour at every pixel. Answers the whole file's bytes. Raises
// EInvalidGraphicOperation for an empty image or one whose compressed data exceed 2 GiB,
// EOutOfMemory, and ECompressionError "error"; none of them names a file, which the caller knows.
std::vector<uint8_t> EncodeCompactPng(const TIndexImage& image,
                                      std::span<const TPaletteEntry> palette, int level = 9);

}  // namespace quill
