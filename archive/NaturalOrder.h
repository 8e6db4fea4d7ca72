#pragma once

#include <string_view>

namespace quill {

// Names in the order a person expects: runs of digits compare by their value, so "2"
// comes before "10"; everything else byte by byte. Names equal that way (leading zeros)
// fall back to their bytes, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace quill
