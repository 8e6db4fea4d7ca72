#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/ByteScan.h"
#include "support/ConvertSupport.h"

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

// The classes of whole text lines against their definitions, at every vector width the
// processor has: lines of every length around the 64-byte blocks, with line colours,
// zeros and picture lines among them, and whatever follows the n bytes.
TEST(ByteScan, TextLineClassesAgreeAtEveryWidth) {
    std::mt19937 gen(866);
    const char pool[] = {'a',
                         'b',
                         ' ',
                         '\r',
                         '\r',
                         '\0',
                         1,
                         3,
                         7,
                         8,
                         10,
                         '<',
                         '~',
                         127,
                         static_cast<char>(0xFF),
                         static_cast<char>(0x80),
                         static_cast<char>(0xA0)};
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        const size_t size = 1 + gen() % 400;
        const unsigned density = 1 + gen() % 30;  // of 64: how often a byte comes from the pool
        for (size_t i = 0; i < size; ++i)
            s.push_back(gen() % 64 < density ? pool[gen() % sizeof pool]
                                             : static_cast<char>('c' + gen() % 20));
        s.back() = '\r';
        if (s.size() >= 2 && static_cast<uint8_t>(s[0]) == 255) s[0] = 'x';
        const size_t n = s.size();
        s.append(64, static_cast<char>(gen() % 2 ? '\r' : 0x81));

        // The definitions, byte by byte.
        size_t end = n;
        for (size_t i = 0; i < n && end == n; ++i) {
            const auto b = static_cast<uint8_t>(s[i]);
            if (b == 0) end = i + 1;
            if (b == 255 && i > 0 && scan::IsLineEnd(static_cast<uint8_t>(s[i - 1])) &&
                static_cast<uint8_t>(s[i + 1]) >= 128)
                end = i;
        }
        std::vector<uint64_t> specials((n + 63) / 64), coloured((n + 63) / 64);
        for (size_t i = 0; i < end; ++i)
            if (scan::IsSpecial(static_cast<uint8_t>(s[i])))
                specials[i / 64] |= uint64_t{1} << (i % 64);
        for (size_t start = 0; start < end;) {
            size_t e = start;
            while (!scan::IsLineEnd(static_cast<uint8_t>(s[e]))) ++e;
            const auto k = static_cast<uint8_t>(e > start ? s[e - 1] : 0);
            if (start > 0 && k >= 1 && k <= 7)
                coloured[(start - 1) / 64] |= uint64_t{1} << ((start - 1) % 64);
            start = e + 1;
        }

        for (const TVectorWidth width : test::AllWidths()) {
            std::vector<uint64_t> gotSpecials((n + 63) / 64, ~uint64_t{0});
            std::vector<uint64_t> gotColoured((n + 63) / 64, ~uint64_t{0});
            const size_t gotEnd = scan::KernelsFor(width).ClassifyBlocks(
                s.data(), n, gotSpecials.data(), gotColoured.data());
            const std::string what = testing::PrintToString(s.substr(0, n)) + " width " +
                                     std::to_string(static_cast<int>(width));
            ASSERT_EQ(gotEnd, end) << what;
            for (size_t w = 0; w < (end + 63) / 64; ++w) {
                ASSERT_EQ(gotSpecials[w], specials[w]) << what << " block " << w;
                ASSERT_EQ(gotColoured[w], coloured[w]) << what << " block " << w;
            }
        }
    }
}

}  // namespace
}  // namespace quill
