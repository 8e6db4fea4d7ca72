#pragma once

#include <cstdint>

namespace quill {

// The row filters of PNG: the byte before each row of the image data names the one that
// made it. Any other byte value may turn up in damaged data; it leaves the row as it is.
enum class TFilterType : uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

}  // namespace quill
