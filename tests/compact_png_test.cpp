#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "png/CompactPng.h"
#include "png/Png.h"
#include "support/LibpngDecode.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

// Each image decoded by libpng shows the colour its index has in the palette given (black
// beyond it), with the bits a pixel and the palette entries that its colours need; our
// reader reads the same colours and meets filter None only; pngcheck passes every file.
TEST(CompactPng, FewestBitsOnlyTheColoursShownSameColoursForLibpngAndOurReader) {
    struct Case {
        const char* what;
        int width, height;
        std::vector<uint8_t> indexes;  // repeated over the pixels, row after row
        int paletteSize;               // entries of the palette given (irregular colours)
        int bitDepth, entries;
    };
    const std::vector<uint8_t> seventeen = {0, 1,  2,  3,  4,  5,  6,  7, 8,
                                            9, 10, 11, 12, 13, 14, 15, 99};
    const Case cases[] = {
        {"one colour", 256, 8, {3}, 16, 1, 1},
        {"two colours, a row that ends mid-byte", 13, 3, {0, 7, 7}, 16, 1, 2},
        {"three colours", 255, 5, {9, 1, 5}, 16, 2, 3},
        {"four colours, a row of 7", 7, 2, {0, 1, 2, 3, 3}, 16, 2, 4},
        {"five colours, a row of 3", 3, 9, {4, 0, 15, 8, 2}, 16, 4, 5},
        {"all sixteen", 256, 16, {seventeen.begin(), seventeen.end() - 1}, 16, 4, 16},
        {"seventeen: 8 bits", 33, 4, seventeen, 256, 8, 17},
        {"beyond the palette: black, one entry", 9, 2, {1, 20, 200}, 4, 1, 2},
        {"no palette: all black", 5, 1, {0, 9}, 0, 1, 1},
        {"one pixel", 1, 1, {6}, 16, 1, 1},
    };
    test::TempDir dir;
    std::vector<std::string> files;
    for (const Case& c : cases) {
        std::vector<TPaletteEntry> palette;
        for (int i = 0; i < c.paletteSize; ++i)
            palette.push_back({static_cast<uint8_t>(i * 7 + 3), static_cast<uint8_t>(255 - i),
                               static_cast<uint8_t>(i * 13 + 1), 0});
        const int64_t stride = c.width + 3;  // rows apart by more than their width
        std::vector<uint8_t> pixels(static_cast<size_t>(stride * c.height), 255);
        const auto index = [&](int x, int y) {
            return c.indexes[static_cast<size_t>(y * c.width + x) % c.indexes.size()];
        };
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                pixels[static_cast<size_t>(y * stride + x)] = index(x, y);
        const std::vector<uint8_t> bytes =
            EncodeCompactPng({pixels.data(), c.width, c.height, stride}, palette);
        const std::string name = dir.File(std::to_string(files.size()) + ".png");
        test::WriteFileBytes(name, bytes);
        files.push_back(name);

        const test::TDecodedPng stored = test::DecodeWithLibpng(name);
        EXPECT_EQ(stored.BitDepth, c.bitDepth) << c.what;
        EXPECT_EQ(stored.Palette.size(), static_cast<size_t>(c.entries)) << c.what;
        const test::TDecodedPng rgb = test::DecodeWithLibpng(name, PNG_TRANSFORM_EXPAND);
        TPNG ours;
        ours.LoadFromFile(name);
        EXPECT_EQ(ours.FilterTypesSeen(), std::bitset<256>(1)) << c.what;  // None only
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const size_t i = index(x, y);
                const TPaletteEntry e = i < palette.size() ? palette[i] : TPaletteEntry{};
                const uint8_t* got = rgb.Rows[static_cast<size_t>(y)].data() + 3 * x;
                wrong += got[0] != e.peRed || got[1] != e.peGreen || got[2] != e.peBlue;
                wrong += ours.Canvas().Pixel(x, y) !=
                         static_cast<TColor>(e.peRed | e.peGreen << 8 | e.peBlue << 16);
            }
        EXPECT_EQ(wrong, 0) << c.what;
    }
    EXPECT_EQ(test::PngcheckErrors(files), "");
    EXPECT_THROW(EncodeCompactPng({nullptr, 0, 5, 0}, {}), EInvalidGraphicOperation);
}

}  // namespace
}  // namespace quill
