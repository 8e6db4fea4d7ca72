#pragma once

#include <string_view>

namespace quill {

// Whether name matches a shell pattern, byte by byte as fnmatch does without flags: "*"
// any run of bytes, "?" any one byte, "[a-z]" and "[!0-9]" (or "[^0-9]") one byte of a
// set, "\" takes the next byte as it is; a "[" without its "]" is itself. Our own, so
// that --match means the same on every system.
bool MatchesShellPattern(std::string_view pattern, std::string_view name);

}  // namespace quill
