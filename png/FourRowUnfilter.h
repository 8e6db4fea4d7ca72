#pragma once

#include <cstdint>

#include "platform/ProcessorFeatures.h"
#include "png/FilterType.h"

namespace quill {

// UnfilterRow over four consecutive rows at once, each below the one before, the first
// below prev, row r with filters[r]: all Average or all Paeth, or filters that differ,
// two or more of them Average or Paeth. Answers false, and changes nothing, where it has no faster
// way than pairs or single rows (other filters and distances, or features narrower than AVX2).
bool UnfilterFourRows(const TFilterType filters[4], uint8_t* const rows[4], const uint8_t* prev,
                      int64_t len, int bpp, const TProcessorFeatures& features);

}  // namespace quill
