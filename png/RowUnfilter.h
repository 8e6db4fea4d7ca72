#pragma once

#include <cstdint>

namespace quill {

// Un-filters one row of len bytes in place, byte for byte what the pixel walk does along
// it; prev is the un-filtered row above, or null where there is none (the first row of a
// pass), which reads as zeros. bpp is the filter distance.
void UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t len, int bpp);

}  // namespace quill
