#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ProcessorFeatures.h"

namespace quill {

// The Adler-32 checksum that ends a zlib stream, continued from `adler` over `n` bytes;
// the checksum of nothing is 1. Equal to zlib's adler32, and many times faster on long
// data: inflated image data run to megabytes, and zlib sums them a byte at a time. Summed
// by the widest way that `features` allow.
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t n,
                 const TProcessorFeatures& features = ProcessorFeatures());

}  // namespace quill
