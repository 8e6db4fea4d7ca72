// The page as a screen shows it: pixels of known glyphs (drawn out by hand from the
// console font's rows), the page's colours, rows, tabs, codes and pictures in place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/PageRender.h"

namespace quill {
namespace {

using std::string_literals::operator""s;

struct TPixel {
    int x;
    int y;
    int index;
};

TEST(PageRender, TextAndPicturesWhereThePageShowsThem) {
    const TPageLook dark{.ColourSpans = true};
    // Cell 0 of character row 0: its left pixel column ink, bright white on dark grey.
    std::string data(288, '\0');
    for (int r = 0; r < 8; ++r) data[static_cast<size_t>(32 * r)] = '\x80';
    data[256] = '\x47';
    const std::string picture = "A\r\xff\x80\x03\rB\r"s + '\0';
    struct Case {
        std::string document;
        TPageLook look;
        int rows;
        int height;
        std::vector<TPixel> pixels;
    };
    const Case cases[] = {
        // "П" row 2 is #######. ; "A" row 2 ...#.... after code 6's space, in class y;
        // a tab to column 8, then the copyright sign's row 2 .######. ; the line colour m
        // over "a", whose row 5 is .####... .
        {"\x8f\x06"
         "A\r\t\x7f\rab\x03\r",
         dark,
         0,
         51,
         {{0, 0, kBackground},
          {0, 2, kText},
          {6, 2, kText},
          {7, 2, kBackground},
          {18, 2, kBackground},
          {19, 2, kText + 6},
          {64, 19, kBackground},
          {65, 19, kText},
          {0, 39, kBackground},
          {1, 39, kText + 3},
          {4, 39, kText + 3}}},
        // A thumbnail is 25 rows high; with "42 pitch" rows are 25 pixels, glyphs 4 down.
        {"\x8f\r", dark, kThumbnailRows, 425, {{0, 2, kText}, {0, 424, kBackground}}},
        {"\x8f\r\x8f\r",
         {.ColourSpans = true, .Pitch42 = true},
         0,
         50,
         {{0, 2, kBackground}, {0, 6, kText}, {0, 31, kText}}},
        // The light page: black text; code 2's tags underline its cells in their last row.
        {"\x02"
         "a\r",
         {},
         0,
         17,
         {{8, 5, kBackground},
          {9, 5, kText},
          {8, 15, kText},
          {15, 15, kText},
          {7, 15, kBackground}}},
        // A picture of one row between A and B, 640 wide: 20 pixel rows of 2.5-pixel
        // pixels; the line colour of its picture line colours nothing.
        {picture + data,
         dark,
         0,
         54,
         {{0, 17, 15}, {2, 17, 15}, {3, 17, 8}, {2, 36, 15}, {639, 17, 0}, {0, 39, kText}}},
        {picture + data,
         {.ColourSpans = true, .Scale = 1},
         0,
         42,
         {{0, 17, 15}, {1, 17, 8}, {256, 17, kBackground}, {0, 27, kText}}},
        // A last group that is not complete is never drawn.
        {picture + data.substr(0, 287), dark, 0, 54, {{0, 17, 0}}},
    };
    for (const Case& c : cases) {
        const auto bitmap = RenderPage(c.document, c.look, c.rows);
        const std::string name = testing::PrintToString(c.document.substr(0, 12));
        ASSERT_EQ(bitmap->Width(), 640) << name;
        EXPECT_EQ(bitmap->Height(), c.height) << name;
        for (const TPixel& p : c.pixels)
            EXPECT_EQ(bitmap->ScanLine(p.y)[p.x], p.index) << name << " at " << p.x << "," << p.y;
    }
}

TEST(PageRender, PaletteIsThePagesColours) {
    struct Case {
        TPageLook look;
        int index;
        TPaletteEntry colour;
    };
    const Case cases[] = {
        {{.ColourSpans = true}, kBackground, {0, 0, 0, 0}},
        {{.ColourSpans = true}, kText, {0, 0xcc, 0xcc, 0}},
        {{.ColourSpans = true}, kText + 2, {0xcc, 0, 0, 0}},        // .r
        {{.ColourSpans = true}, kText + 7, {0xcc, 0xcc, 0xcc, 0}},  // .w
        {{}, kBackground, {255, 255, 255, 0}},
        {{}, kText, {0, 0, 0, 0}},
        {{}, 8, {16, 16, 16, 0}},  // pictures keep their sixteen
    };
    for (const Case& c : cases) {
        const auto bitmap = RenderPage("x\r", c.look);
        ASSERT_NE(bitmap->Palette(), nullptr);
        const TPaletteEntry& e = bitmap->Palette()->Entry(c.index);
        EXPECT_EQ((std::vector<int>{e.peRed, e.peGreen, e.peBlue}),
                  (std::vector<int>{c.colour.peRed, c.colour.peGreen, c.colour.peBlue}))
            << c.index;
    }
}

}  // namespace
}  // namespace quill
