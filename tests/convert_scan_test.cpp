#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/ByteScan.h"

namespace quill {
namespace {

// The block-wise search must find exactly what a byte-by-byte search finds, at every
// length and wherever the first hit falls (block edges, the overlapping last block).
TEST(ByteScan, AgreesWithTheByteByByteDefinition) {
    std::mt19937 gen(13);
    for (int round = 0; round < 4000; ++round) {
        const size_t n = gen() % 70;
        std::string s(n, 'a');
        for (char& c : s) c = static_cast<char>(gen() % 4 == 0 ? gen() % 256 : 'a' + gen() % 26);
        size_t special = n;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = static_cast<uint8_t>(s[i]);
            const bool isSpecial =
                b <= 8 || b == 10 || b == 13 || b == 60 || b == 62 || b == 126 || b == 127;
            if (isSpecial && special == n) special = i;
        }
        EXPECT_EQ(scan::FindSpecial(s.data(), n), special) << testing::PrintToString(s);
    }
    for (int b = 0; b < 256; ++b) {
        for (size_t at = 0; at < 40; ++at) {
            std::string s(40, 'x');
            s[at] = static_cast<char>(b);
            const bool isSpecial =
                b <= 8 || b == 10 || b == 13 || b == 60 || b == 62 || b == 126 || b == 127;
            EXPECT_EQ(scan::FindSpecial(s.data(), s.size()), isSpecial ? at : 40u) << b;
        }
    }
}

}  // namespace
}  // namespace quill
