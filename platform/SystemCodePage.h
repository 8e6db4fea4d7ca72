#pragma once

#include <array>
#include <optional>
#include <string>

namespace quill {

// The UTF-8 of bytes 128 to 255 of a single-byte code page that the system knows by its
// name ("koi8-r", "cp437"), through its own converter: iconv on POSIX systems, the
// system's code pages on Windows. A byte the code page leaves out is U+FFFD. Nothing for
// a name the system does not know, or a code page of more than one byte a letter.
std::optional<std::array<std::string, 128>> SystemCodePageUpperHalf(const std::string& name);

}  // namespace quill
