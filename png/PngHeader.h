#pragma once

#include <cstdint>

namespace quill {

// The colour types of PNG. A header may hold any other byte; the reader refuses it.
enum class TColourType : uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };

// The 13 bytes of an IHDR chunk; the reader keeps width and height in host order.
struct TPngHeader {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    TColourType ColourType = TColourType::Grey;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;
};

}  // namespace quill
