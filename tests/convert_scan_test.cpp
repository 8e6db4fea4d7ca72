#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/ByteScan.h"

namespace quill {
namespace {

// Every byte value at every position of a block: special exactly as the definition says.
TEST(ByteScan, EveryByteAtEveryPosition) {
    for (int b = 0; b < 256; ++b) {
        const bool isSpecial =
            b <= 8 || b == 10 || b == 13 || b == 60 || b == 62 || b == 126 || b == 127;
        EXPECT_EQ(scan::IsSpecial(static_cast<uint8_t>(b)), isSpecial) << b;
        for (size_t at = 0; at < 64; ++at) {
            std::string s(64 + 63, 'x');
            s[at] = static_cast<char>(b);
            EXPECT_EQ(scan::SpecialBits64(s.data()), isSpecial ? uint64_t{1} << at : 0) << b;
            EXPECT_EQ(scan::FindLineEnd(s.data(), 64), b == 0 || b == 13 ? at : 64u) << b;
        }
    }
}

// The 64-byte searches against the byte-by-byte definitions, wherever the hits fall and
// whatever follows the n bytes (those loads must not count).
TEST(ByteScan, BlockSearchesAgreeWithTheDefinitions) {
    std::mt19937 gen(29);
    for (int round = 0; round < 4000; ++round) {
        const size_t n = gen() % 200;
        std::string s(n + 64, '\0');  // the readable bytes after the n are 0: line ends
        for (size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>(gen() % 8 == 0 ? gen() % 256 : 'a' + gen() % 26);
        size_t end = n;
        for (size_t i = 0; i < n && end == n; ++i)
            if (s[i] == '\r' || s[i] == '\0') end = i;
        EXPECT_EQ(scan::FindLineEnd(s.data(), n), end) << testing::PrintToString(s);
        if (n >= 64) {
            uint64_t bits = 0;
            for (size_t i = 0; i < 64; ++i)
                if (scan::IsSpecial(static_cast<uint8_t>(s[i]))) bits |= uint64_t{1} << i;
            EXPECT_EQ(scan::SpecialBits64(s.data()), bits) << testing::PrintToString(s);
        }
    }
}

}  // namespace
}  // namespace quill
