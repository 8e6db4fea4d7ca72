#pragma once

#include <string>
#include <string_view>

namespace quill {

// Names and texts cross the Windows API as UTF-16; inside the program they are UTF-8.
// Bytes that are no UTF-8 become U+FFFD, and lone surrogates the same on the way back.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace quill
