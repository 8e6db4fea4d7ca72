#pragma once

#include <cstdint>

#include "png/FilterType.h"

namespace quill {

// Un-filters one row of len bytes in place, byte for byte what the pixel walk does along
// it; prev is the un-filtered row above, or null where there is none (the first row of a
// pass), which reads as zeros. bpp is the filter distance.
void UnfilterRow(TFilterType filter, uint8_t* row, const uint8_t* prev, int64_t len, int bpp);

// Un-filters two consecutive rows of one pass with the same filter, first below prev
// and second below first, as UnfilterRow would one after the other. Answers false, and
// changes nothing, where it has no faster way than that (other filters and distances).
bool UnfilterTwoRows(TFilterType filter, uint8_t* first, uint8_t* second, const uint8_t* prev,
                     int64_t len, int bpp);

}  // namespace quill
