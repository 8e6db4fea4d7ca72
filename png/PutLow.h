#pragma once

#include <cstdint>
#include <cstring>

namespace quill {

// The low B bytes of a word to memory; three as two and one straight from the register,
// where a copy of three bytes went through the stack and cost a quarter of a step.
template <int B>
inline void PutLow(uint8_t* p, int bytes) {
    if constexpr (B == 3) {
        const auto low = static_cast<uint16_t>(bytes);
        std::memcpy(p, &low, 2);
        p[2] = static_cast<uint8_t>(bytes >> 16);
    } else {
        std::memcpy(p, &bytes, B);
    }
}

}  // namespace quill
