#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace quill {

// One colour of a logical palette.
struct TPaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
};

inline constexpr uint8_t PC_NOCOLLAPSE = 4;

// A logical palette as callers describe it: a version (0x300) and its entries.
struct TLogPalette {
    uint16_t palVersion = 0x300;
    std::vector<TPaletteEntry> palPalEntry;  // palNumEntries is its size
};

// A palette that bitmaps can own: up to 256 entries.
class TPalette {
  public:
    explicit TPalette(std::vector<TPaletteEntry> entries) : entries_(std::move(entries)) {}
    int Count() const { return static_cast<int>(entries_.size()); }
    const TPaletteEntry& Entry(int i) const { return entries_.at(static_cast<size_t>(i)); }
    const std::vector<TPaletteEntry>& Entries() const { return entries_; }

  private:
    std::vector<TPaletteEntry> entries_;
};

using HPALETTE = std::unique_ptr<TPalette>;

// Creates a palette from a logical palette; answers null (the "0 handle") when the
// description is refused: a version other than 0x300, or no entries, or more than 256.
HPALETTE CreatePalette(const TLogPalette& logPalette);

}  // namespace quill
