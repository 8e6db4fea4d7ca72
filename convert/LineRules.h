#pragma once

#include <cstdint>

namespace quill::lines {

// The two rules that decide what a line of a document is, in one place for the line loop,
// the buffer walk and the byte classes alike.

// A picture line stands for one character row of a picture: its first byte is 255 and its
// second 128 or more, the row number plus 128. Anything else is a text line.
constexpr bool IsPictureLine(uint8_t first, uint8_t second) {
    return first == 255 && second >= 128;
}
constexpr int PictureRow(uint8_t second) {
    return second - 128;
}

// A line colour: a colour code 1 to 7 as the byte just before a line's last byte colours
// the whole line, and then counts as 8 (the end of a coloured stretch).
constexpr bool IsColourCode(uint8_t b) {
    return b >= 1 && b <= 7;
}

}  // namespace quill::lines
