#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Bitmap.h"
#include "platform/Palette.h"
#include "platform/ProcessorFeatures.h"
#include "platform/Stream.h"

namespace quill {

// One entry of the picture table: a run of character rows of the picture store.
struct TPictureEntry {
    uint8_t FirstRow = 0;  // character row where the picture begins (0-127)
    uint8_t RowCount = 0;  // character rows it covers; 0: the entry is empty
};

// The picture store: 128 character rows of 32 cells of 8 x 8 pixels.
inline constexpr int kStoreRows = 128;
inline constexpr int kCellsPerRow = 32;
inline constexpr int kStoreWidth = kCellsPerRow * 8;
inline constexpr int kStoreHeight = kStoreRows * 8;
// One group of picture data fills one character row: 8 pixel rows of 32 cells, then the
// 32 attributes.
inline constexpr int kGroupBytes = kCellsPerRow * 9;

// Entries 1 to kPictureTableSize; no run can have more than 8256 distinct pictures (a
// first row and a count that fit in the store), so the table never fills.
inline constexpr int kPictureTableSize = 10000;
using TPictureTable = std::array<TPictureEntry, kPictureTableSize + 1>;  // entry 0 unused

// A cell's two colour indexes by its attribute byte: ink in bits 0-2, paper in bits 3-5;
// bit 6 brightens both (adds 8), bit 7 means nothing.
struct TCellColours {
    uint8_t Ink = 0;
    uint8_t Paper = 0;
};
constexpr TCellColours CellColours(uint8_t attribute) {
    const int bright = (attribute & 0x40) ? 8 : 0;
    return {static_cast<uint8_t>((attribute & 7) + bright),
            static_cast<uint8_t>(((attribute >> 3) & 7) + bright)};
}

// One group while it is read: byte r (0-7) of cell c is its pixel row r, byte 8 its
// attribute.
using TCellBuffer = std::array<std::array<uint8_t, 9>, kCellsPerRow>;

// The sixteen colours of every picture, by colour index: eight colours, then their
// bright forms (bright black is a very dark grey, not black).
inline constexpr std::array<TPaletteEntry, 16> PaletteColours = {{
    {0, 0, 0, 0},
    {0, 0, 168, 0},
    {168, 0, 0, 0},
    {168, 0, 168, 0},
    {0, 168, 0, 0},
    {0, 168, 168, 0},
    {168, 168, 0, 0},
    {168, 168, 168, 0},
    {16, 16, 16, 0},
    {0, 0, 255, 0},
    {255, 0, 0, 0},
    {255, 0, 255, 0},
    {0, 255, 0, 0},
    {0, 255, 255, 0},
    {255, 255, 0, 0},
    {255, 255, 255, 0},
}};

// Sets the sixteen colours as the bitmap's palette; a palette that cannot be made
// leaves the bitmap's palette as it was.
void ApplyPalette(TBitmap& bitmap);

class TRecordFile;

// How a picture file is written: a 4-bit BMP, the classic PNG (8 bits, 256 palette
// entries, Paeth), or the modern page's compact PNG (the fewest bits, the colours used,
// no filter).
enum class TPictureFormat { Bmp, Png, CompactPng };

// The pictures of one document: the table of picture runs while the text is read, then
// the store the picture data are drawn into, from which each distinct picture is cut and
// encoded. Cutting and encoding read the store only, so several pictures may be encoded
// at once.
class TPictureStore {
  public:
    // Before the first line: no picture collected.
    void Reset();
    // A picture is being collected and waits for the line that does not continue it.
    bool Waiting() const { return table_[static_cast<size_t>(current_)].RowCount != 0; }
    // For every line: finishes the picture being collected unless this line continues it,
    // and answers the number whose image line then stands in the page (a picture that
    // repeats an earlier one gets that one's number), or 0 when none is finished.
    int FinishPicture(bool isPictureLine, int row);
    // A picture line of character row row.
    void AddPictureLine(int row);

    // The picture data, whatever follows in input, drawn into a store of 4 or 8 bits a
    // pixel, after the text (the pictures are known); a last group that is not complete is
    // not drawn, and data beyond the last row a picture shows are read and ignored.
    void ReadPictureData(TRecordFile& input, bool fourBits);
    // The distinct pictures, numbered from 1.
    int Count() const { return current_ - 1; }
    // Picture n in a bitmap of its own, ready to be written as BMP or PNG (a TPNG whose
    // kernels go no wider than widest).
    std::unique_ptr<TBitmap> CutPicture(int n, bool bmp, TVectorWidth widest) const;
    // Picture n's file as bytes.
    void EncodePicture(int n, TPictureFormat format, TVectorWidth widest, TStream& bytes) const;
    // Frees the store.
    void Release() { store_.reset(); }

    const TPictureTable& Table() const { return table_; }

  private:
    void DrawGroup(int s);

    TPictureTable table_{};
    int32_t current_ = 1;  // the entry being collected
    TCellBuffer cells_{};
    std::unique_ptr<TBitmap> store_;
};

}  // namespace quill
