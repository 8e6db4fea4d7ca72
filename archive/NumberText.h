#pragma once

#include <cstdint>
#include <string>

namespace quill {

// A number as every message and page of a call writes it: 1234567 as "1,234,567".
std::string Grouped(uint64_t n);

}  // namespace quill
