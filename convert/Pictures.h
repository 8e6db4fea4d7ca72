#pragma once

#include <array>
#include <cstdint>

namespace quill {

// One entry of the picture table: a run of character rows of the picture store.
struct TPictureEntry {
    uint8_t FirstRow = 0;  // character row where the picture begins (0-127)
    uint8_t RowCount = 0;  // character rows it covers; 0: the entry is empty
};

// Character rows of the picture store, and the picture data that fills one of them.
inline constexpr int kStoreRows = 128;
inline constexpr int kCellsPerRow = 32;
inline constexpr int kGroupBytes = kCellsPerRow * 9;  // 8 pixel rows and an attribute

// Entries 1 to kPictureTableSize; no run can have more than 8256 distinct pictures (a
// first row and a count that fit in the store), so the table never fills.
inline constexpr int kPictureTableSize = 10000;
using TPictureTable = std::array<TPictureEntry, kPictureTableSize + 1>;  // entry 0 unused

}  // namespace quill
