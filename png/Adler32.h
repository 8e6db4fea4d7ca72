#pragma once

#include <cstddef>
#include <cstdint>

namespace quill {

// The Adler-32 checksum that ends a zlib stream, continued from `adler` over `n` bytes;
// the checksum of nothing is 1. Equal to zlib's adler32, and many times faster on long
// data: inflated image data run to megabytes, and zlib sums them a byte at a time.
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t n);

// The ways of computing it; Adler32 takes the widest the processor has.
enum class TAdlerPath { Scalar, Ssse3, Avx2 };

bool AdlerPathAvailable(TAdlerPath path);
// Adler32 by the given way, which must be available: lets tests hold each to zlib's.
uint32_t Adler32By(TAdlerPath path, uint32_t adler, const uint8_t* data, size_t n);

}  // namespace quill
