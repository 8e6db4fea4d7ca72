#pragma once

#include <cstdint>

#include "platform/ProcessorFeatures.h"

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

// Four consecutive rows at once, each below the one before, the first below prev, row r
// with filters[r]: all Average or all Paeth, or filters that differ, two or more of them
// Average or Paeth. Answers false, and changes nothing, where it has no faster way than
// pairs or single rows (other filters and distances, or features narrower than AVX2).
bool UnfilterFourRows(const uint8_t filters[4], uint8_t* const rows[4], const uint8_t* prev,
                      int64_t len, int bpp, const TProcessorFeatures& features);

}  // namespace quill
