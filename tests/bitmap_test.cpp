#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "platform/Bitmap.h"
#include "platform/BmpFile.h"
#include "platform/MemoryStream.h"
#include "support/BitmapSupport.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using test::Bytes;

TEST(Palette, CreatePaletteRefusesBadDescriptions) {
    struct Case {
        uint16_t version;
        int entries;
        bool accepted;
    };
    for (const Case& c : {Case{0x300, 1, true}, Case{0x300, 256, true}, Case{0x300, 0, false},
                          Case{0x300, 257, false}, Case{0x200, 16, false}}) {
        TLogPalette log;
        log.palVersion = c.version;
        log.palPalEntry.resize(static_cast<size_t>(c.entries));
        HPALETTE p = CreatePalette(log);
        EXPECT_EQ(p != nullptr, c.accepted) << c.version << " " << c.entries;
        if (p) {
            EXPECT_EQ(p->Count(), c.entries);
        }
    }
}

TEST(Bitmap, NewBitmapAndRowLayout) {
    TBitmap b;
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(b.Palette(), nullptr);
    EXPECT_TRUE(b.Empty());
    // Rows are padded to 4 bytes.
    struct Case {
        TPixelFormat format;
        int width, stride;
    };
    for (const Case& c : {Case{pf4bit, 1, 4}, Case{pf4bit, 9, 8}, Case{pf8bit, 5, 8},
                          Case{pf24bit, 3, 12}, Case{pf24bit, 5, 16}, Case{pf32bit, 3, 12}}) {
        b.SetPixelFormat(c.format);
        b.SetSize(c.width, 2);
        EXPECT_EQ(b.BytesPerScanLine(), c.stride) << c.format << " " << c.width;
        EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), c.stride);
    }
    EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
    EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphicOperation);
    EXPECT_THROW(b.SetWidth(-1), EInvalidGraphicOperation);
    EXPECT_THROW(b.SetSize(INT_MAX, INT_MAX), EOutOfMemory);
    EXPECT_EQ(b.Width(), 3);  // a refused change leaves the bitmap as it was
}

TEST(Bitmap, ResizeKeepsInsidePixelsAndZeroesTheRest) {
    TBitmap b;
    b.SetPixelFormat(pf4bit);
    b.SetSize(3, 2);
    b.ScanLine(0)[0] = 0x12;
    b.ScanLine(0)[1] = 0x30;
    b.ScanLine(1)[0] = 0x45;
    b.SetSize(1, 3);  // keeps pixel (0,0) = 1 and (0,1) = 4 only
    b.SetWidth(3);
    EXPECT_EQ(b.ScanLine(0)[0], 0x10);  // the right nibble that fell outside is gone
    EXPECT_EQ(b.ScanLine(0)[1], 0x00);
    EXPECT_EQ(b.ScanLine(1)[0], 0x40);
    EXPECT_EQ(b.ScanLine(2)[0], 0x00);

    // Rows first, width after: the rows of no width have no storage to keep from.
    TBitmap tall;
    tall.SetHeight(4);
    tall.SetWidth(5);
    EXPECT_EQ(tall.ScanLine(3)[14], 0x00);
}

TEST(Canvas, PixelReadsColoursWithRedInTheLowByte) {
    TBitmap b;
    b.SetPixelFormat(pf4bit);
    b.SetSize(2, 1);
    b.SetPalette(test::SixteenColours());
    b.ScanLine(0)[0] = 0x2F;  // left pixel red (168,0,0), right pixel white
    EXPECT_EQ(b.Canvas().Pixel(0, 0), 0x0000A8u);
    EXPECT_EQ(b.Canvas().Pixel(1, 0), 0xFFFFFFu);
    EXPECT_EQ(b.Canvas().Pixel(2, 0), 0xFFFFFFFFu);  // outside: the invalid colour
    EXPECT_EQ(b.Canvas().Pixel(0, -1), 0xFFFFFFFFu);

    b.SetPixelFormat(pf8bit);
    b.ScanLine(0)[1] = 200;  // beyond the palette: black
    EXPECT_EQ(b.Canvas().Pixel(0, 0), 0x0000A8u);
    EXPECT_EQ(b.Canvas().Pixel(1, 0), 0u);

    for (TPixelFormat f : {pf24bit, pf32bit}) {
        TBitmap t;
        t.SetPixelFormat(f);
        t.SetSize(1, 1);
        t.ScanLine(0)[0] = 0x10;  // blue
        t.ScanLine(0)[1] = 0x20;  // green
        t.ScanLine(0)[2] = 0x30;  // red
        EXPECT_EQ(t.Canvas().Pixel(0, 0), 0x102030u) << f;
    }
}

// The colour a bitmap shows at (x, y), or the invalid colour outside it.
TColor At(TBitmap& b, int x, int y) {
    return b.Canvas().Pixel(x, y);
}

TEST(Canvas, CopyRectClipsAgainstBothBitmaps) {
    // Each case is checked pixel by pixel against a plain model of an unscaled,
    // clipped copy; under the sanitizer build any access outside the rows shows up.
    const TRect rects[][2] = {
        {{0, 0, 256, 16}, {0, 8, 256, 24}},    // the converter's cut
        {{-5, -3, 10, 10}, {0, 0, 15, 13}},    // destination starts outside
        {{0, 0, 20, 20}, {-7, -2, 13, 18}},    // source starts outside
        {{10, 10, 40, 40}, {20, 20, 50, 50}},  // both run past the far edges
        {{10, 10, 40, 40}, {0, 0, 30, 30}},    // only the destination's far edge cuts
        {{0, 0, 5, 5}, {0, 0, 9, 3}},          // sizes differ: the smaller counts
        {{3, 3, 2, 9}, {0, 0, 9, 9}},          // empty rectangle
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, INT_MAX, INT_MAX}},
        {{INT_MAX - 1, 0, INT_MAX, 1}, {0, 0, 1, 1}},
        {{0, 0, 1, 1}, {INT_MIN, 0, INT_MIN + 1, 1}},
    };
    for (TPixelFormat f : {pf4bit, pf8bit, pf24bit, pf32bit}) {
        for (const auto& r : rects) {
            TBitmap src, dst, before;
            test::FillRandom(src, f, 33, 37, 1);
            test::FillRandom(dst, f, 31, 29, 2);
            before.Assign(dst);
            dst.Canvas().CopyRect(r[0], src.Canvas(), r[1]);
            const TRect& d = r[0];
            const TRect& s = r[1];
            for (int y = 0; y < dst.Height(); ++y)
                for (int x = 0; x < dst.Width(); ++x) {
                    const int64_t sx = int64_t{x} - d.Left + s.Left;
                    const int64_t sy = int64_t{y} - d.Top + s.Top;
                    const bool inside = x >= d.Left && y >= d.Top && x < d.Right && y < d.Bottom &&
                                        int64_t{x} - d.Left < int64_t{s.Right} - s.Left &&
                                        int64_t{y} - d.Top < int64_t{s.Bottom} - s.Top && sx >= 0 &&
                                        sy >= 0 && sx < src.Width() && sy < src.Height();
                    const TColor want = inside ? At(src, static_cast<int>(sx), static_cast<int>(sy))
                                               : At(before, x, y);
                    ASSERT_EQ(At(dst, x, y), want)
                        << f << " at " << x << "," << y << " rect " << d.Left << "," << d.Top;
                }
        }
    }
}

TEST(Canvas, CopyRectWithinOneBitmapAndAcrossFormats) {
    TBitmap b, orig;
    test::FillRandom(b, pf4bit, 16, 16, 3);
    orig.Assign(b);
    b.Canvas().CopyRect({1, 1, 16, 16}, b.Canvas(), {0, 0, 15, 15});  // overlapping
    for (int y = 1; y < 16; ++y)
        for (int x = 1; x < 16; ++x) ASSERT_EQ(At(b, x, y), At(orig, x - 1, y - 1));

    // 4-bit into 24-bit goes by colour; 8-bit into 4-bit keeps the indexes.
    TBitmap wide, narrow;
    wide.SetSize(16, 16);
    wide.Canvas().CopyRect({0, 0, 16, 16}, orig.Canvas(), {0, 0, 16, 16});
    narrow.SetPixelFormat(pf4bit);
    narrow.SetSize(16, 16);
    TBitmap eight;
    eight.Assign(orig);
    eight.SetPixelFormat(pf8bit);
    narrow.Canvas().CopyRect({0, 0, 16, 16}, eight.Canvas(), {0, 0, 16, 16});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(At(wide, x, y), At(orig, x, y));
            ASSERT_EQ(narrow.ScanLine(y)[x / 2], orig.ScanLine(y)[x / 2]);
        }
}

TEST(Bitmap, AssignCopiesEverythingAndOwnsItsPalette) {
    TBitmap a, b;
    test::FillRandom(a, pf8bit, 7, 5, 4, 40);
    b.Assign(a);
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.Height(), 5);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    ASSERT_NE(b.Palette(), nullptr);
    EXPECT_NE(b.Palette(), a.Palette());
    EXPECT_EQ(b.Palette()->Count(), 40);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(Bytes(b.ScanLine(y), b.ScanLine(y) + 7), Bytes(a.ScanLine(y), a.ScanLine(y) + 7));
    a.SetPalette(nullptr);
    a.ScanLine(0)[0] ^= 1;
    EXPECT_EQ(b.Palette()->Count(), 40);
    EXPECT_NE(b.ScanLine(0)[0], a.ScanLine(0)[0]);
    b.Assign(b);  // assigning a bitmap to itself changes nothing
    EXPECT_EQ(b.Palette()->Count(), 40);
}

TEST(Bitmap, PixelFormatConversions) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(4, 1);
    b.SetPalette(test::SixteenColours());
    const uint8_t pixels[4] = {0, 10, 15, 7};
    std::copy(pixels, pixels + 4, b.ScanLine(0));

    TBitmap four;
    four.Assign(b);
    four.SetPixelFormat(pf4bit);  // indexes kept
    EXPECT_EQ(four.ScanLine(0)[0], 0x0A);
    EXPECT_EQ(four.ScanLine(0)[1], 0xF7);
    four.SetPixelFormat(pf8bit);
    EXPECT_EQ(Bytes(four.ScanLine(0), four.ScanLine(0) + 4), Bytes(pixels, pixels + 4));

    TBitmap rgb;
    rgb.Assign(b);
    rgb.SetPixelFormat(pf24bit);  // by colour
    EXPECT_EQ(Bytes(rgb.ScanLine(0), rgb.ScanLine(0) + 6), (Bytes{0, 0, 0, 0, 0, 255}));
    rgb.SetPixelFormat(pf32bit);  // opaque
    EXPECT_EQ(Bytes(rgb.ScanLine(0) + 4, rgb.ScanLine(0) + 8), (Bytes{0, 0, 255, 255}));
    rgb.ScanLine(0)[12] = 160;  // white (168,168,168) drifts a little: still nearest index 7
    rgb.SetPixelFormat(pf4bit);
    EXPECT_EQ(rgb.ScanLine(0)[0], 0x0A);
    EXPECT_EQ(rgb.ScanLine(0)[1], 0xF7);

    // An index that 4 bits cannot hold (16 the first) becomes the nearest of the first 16
    // colours.
    TBitmap big;
    big.SetPixelFormat(pf8bit);
    big.SetSize(2, 1);
    TLogPalette log;
    log.palPalEntry.resize(201);
    log.palPalEntry[3] = {250, 250, 250, 0};
    log.palPalEntry[16] = log.palPalEntry[200] = {255, 255, 255, 0};
    big.SetPalette(CreatePalette(log));
    big.ScanLine(0)[0] = 200;
    big.ScanLine(0)[1] = 16;
    big.SetPixelFormat(pf4bit);
    EXPECT_EQ(big.ScanLine(0)[0], 0x33);
}

TEST(Bmp, RoundTripsEveryWrittenFormat) {
    test::TempDir dir;
    for (TPixelFormat f : {pf4bit, pf8bit, pf24bit, pf32bit}) {
        for (int width : {1, 3, 5, 8}) {
            TBitmap out, in;
            test::FillRandom(out, f, width, 3, static_cast<unsigned>(width));
            const std::string name = dir.File("r.bmp");
            out.SaveToFile(name);
            in.LoadFromFile(name);
            ASSERT_EQ(in.PixelFormat(), f);
            ASSERT_EQ(in.Width(), width);
            ASSERT_EQ(in.Height(), 3);
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(Bytes(in.ScanLine(y), in.ScanLine(y) + in.BytesPerScanLine()),
                          Bytes(out.ScanLine(y), out.ScanLine(y) + out.BytesPerScanLine()))
                    << f << " " << width;
            if (f == pf4bit || f == pf8bit) {
                ASSERT_NE(in.Palette(), nullptr);
                EXPECT_EQ(in.Palette()->Count(), 16);
                for (int i = 0; i < 16; ++i)
                    EXPECT_EQ(in.Palette()->Entry(i).peRed, out.Palette()->Entry(i).peRed);
            }
        }
    }
}

TEST(Bmp, FourBitPictureFileLayout) {
    // A converter picture: 256 wide, 16-colour table in palette order, rows bottom-up.
    TBitmap b;
    b.SetPixelFormat(pf4bit);
    b.SetSize(256, 8);
    b.SetPalette(test::SixteenColours());
    b.ScanLine(7)[0] = 0x2A;
    TMemoryStream s;
    b.SaveToStream(s);
    const uint8_t* p = s.Memory();
    ASSERT_EQ(s.Size(), 14 + 40 + 64 + 128 * 8);
    EXPECT_EQ(p[0], 'B');
    EXPECT_EQ(p[10], 14 + 40 + 64);                                             // pixel data offset
    EXPECT_EQ(p[14 + 14], 4);                                                   // bits per pixel
    EXPECT_EQ(p[14 + 32], 16);                                                  // colours used
    EXPECT_EQ(Bytes(p + 54 + 4 * 10, p + 54 + 4 * 11), (Bytes{0, 0, 255, 0}));  // blue, green, red
    EXPECT_EQ(p[54 + 64], 0x2A);                                                // bottom row first
}

TEST(Bmp, RefusesWhatItCannotWriteBeforeTouchingTheFile) {
    test::TempDir dir;
    const std::string name = dir.File("keep.bmp");
    test::WriteFileBytes(name, test::ToBytes("precious"));
    TBitmap empty, mono;
    empty.SetPixelFormat(pf8bit);
    mono.SetPixelFormat(pf1bit);
    mono.SetSize(8, 8);
    for (TBitmap* b : {&empty, &mono}) {
        try {
            b->SaveToFile(name);
            FAIL() << "saved";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_NE(e.Message().find(name), std::string::npos) << e.Message();
        }
        EXPECT_EQ(test::ToString(test::ReadFileBytes(name)), "precious");
    }
}

TEST(Bmp, ClearErrorsForFilesItDoesNotRead) {
    TBitmap good;
    test::FillRandom(good, pf8bit, 4, 4, 9);
    TMemoryStream s;
    good.SaveToStream(s);
    const Bytes valid(s.Memory(), s.Memory() + s.Size());
    struct Case {
        const char* what;
        size_t offset;
        Bytes patch;
        size_t truncate;  // 0: keep the whole file
        const char* message;
    };
    const Case cases[] = {
        {"signature", 0, {'P', 'N'}, 0, "does not begin with"},
        {"1-bit", 28, {1, 0}, 0, "1 bits per pixel"},
        {"16-bit", 28, {16, 0}, 0, "16 bits per pixel"},
        {"RLE", 30, {1}, 0, "compressed"},
        {"zero width", 18, {0, 0, 0, 0}, 0, "invalid size"},
        {"planes", 26, {2, 0}, 0, "planes"},
        {"colour table too long", 46, {1, 1, 0, 0}, 0, "colour table"},
        {"truncated", 0, {}, 60, "truncated"},
        {"header only", 0, {}, 20, "too short"},
        {"huge size", 18, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, 0, "truncated"},
        {"pixels beyond the end", 10, {0xFF, 0xFF, 0xFF, 0xFF}, 0, "truncated"},
    };
    test::TempDir dir;
    const std::string name = dir.File("bad.bmp");
    for (const Case& c : cases) {
        Bytes file = valid;
        std::copy(c.patch.begin(), c.patch.end(), file.begin() + static_cast<long>(c.offset));
        if (c.truncate) file.resize(c.truncate);
        test::WriteFileBytes(name, file);
        TBitmap b;
        test::FillRandom(b, pf24bit, 2, 2, 1);
        try {
            b.LoadFromFile(name);
            FAIL() << c.what << ": loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_NE(e.Message().find(name), std::string::npos) << c.what << ": " << e.Message();
            EXPECT_NE(e.Message().find(c.message), std::string::npos)
                << c.what << ": " << e.Message();
        }
        EXPECT_EQ(b.Width(), 2) << c.what;  // unchanged by the failed load
        EXPECT_EQ(b.PixelFormat(), pf24bit) << c.what;
    }
    EXPECT_THROW(TBitmap().LoadFromFile(dir.File("missing.bmp")), EFOpenError);
}

}  // namespace
}  // namespace quill
