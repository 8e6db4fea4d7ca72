#pragma once

#include <cstdint>
#include <memory>

#include "platform/LargeBlock.h"

namespace quill {

// A block from the C heap, as zlib's callers grow it with realloc.
using TZlibBlock = std::unique_ptr<uint8_t[], TFreeDeleter>;

// The first output block size: input + input/10 + 12, rounded up to a multiple of 256.
int64_t DeflateOutputEstimate(int64_t inBytes);

// Compresses the whole input into a new block (zlib format, level 9, or another level
// where speed counts more than size). The block is sized ahead and grown by 256 bytes
// while deflate asks for more room, then shrunk to the compressed size. Raises
// ECompressionError "error"; nothing is returned then.
void DeflateBuffer(const void* inBuf, int64_t inBytes, TZlibBlock& outBuf, int64_t& outBytes,
                   int level = 9);

}  // namespace quill
