#pragma once

#include <cstdint>
#include <string>

// The two single-byte code pages the program reads, as Unicode: cp866, the DOS code page
// of the documents' text, and Windows-1251, that of the PNG reader's log. Tables of our
// own, so that no system needs a converter at run time and every system gives the same
// bytes.
namespace quill::codepage {

// The character that byte b stands for in cp866 (bytes below 128 are ASCII).
char32_t Cp866(uint8_t b);
// The same in Windows-1251; 0 for 0x98, the one byte it leaves undefined.
char32_t Windows1251(uint8_t b);
// A character as UTF-8.
std::string Utf8(char32_t c);

}  // namespace quill::codepage
