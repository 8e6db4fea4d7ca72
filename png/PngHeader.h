#pragma once

#include <cstdint>

namespace quill {

// The 13 bytes of an IHDR chunk; the reader keeps width and height in host order.
struct TPngHeader {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;
};

}  // namespace quill
