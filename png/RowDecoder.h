#pragma once

#include <cstdint>

#include "png/PixelWalk.h"

namespace quill {

// Inflates and decodes whole rows as the data come, a few rows at a time in a small
// buffer; answers the bytes inflated (no more than room). A row cut short by the end of
// the data is handed to the pixel walk.
int64_t DecodeRows(const TDecodeTarget& target, TStream& inflater, uint64_t room,
                   uint64_t compressed);

}  // namespace quill
