#pragma once

#include <cstdint>

namespace quill {

// Un-filters one row of len bytes in place, byte for byte what the pixel walk does along
// it; prev is the un-filtered row above, or null where there is none (the first row of a
// pass), which reads as zeros. bpp is the filter distance.
void UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t len, int bpp);

// Un-filters two consecutive rows of one pass with the same filter, first below prev
// and second below first, as UnfilterRow would one after the other. Answers false, and
// changes nothing, where it has no faster way than that (other filters and distances).
bool UnfilterTwoRows(uint8_t filter, uint8_t* first, uint8_t* second, const uint8_t* prev,
                     int64_t len, int bpp);

}  // namespace quill
