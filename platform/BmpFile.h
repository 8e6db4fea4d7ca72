#pragma once

#include "platform/Bitmap.h"
#include "platform/Stream.h"

namespace quill {

// Uncompressed BMP files: a file header, a 40-byte information header, a colour table
// for the palette formats and the rows from the bottom up, each padded to 4 bytes.

// Raises EInvalidGraphicOperation unless the bitmap can be written as BMP (4, 8, 24 or
// 32 bits per pixel, at least 1 x 1).
void CheckBmpWritable(const TBitmap& bitmap);

// Writes the bitmap. 4- and 8-bit files get the bitmap's palette as their colour table
// (as many entries as it has, at most 16 or 256; no palette gives a table of black).
void WriteBmp(const TBitmap& bitmap, TStream& stream);

// Reads an uncompressed BMP file of 4, 8, 24 or 32 bits per pixel from the stream's
// position into bitmap. Anything else raises EInvalidGraphic saying what is wrong.
void ReadBmp(TStream& stream, TBitmap& bitmap);

}  // namespace quill
