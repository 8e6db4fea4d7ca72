#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "platform/Picture.h"
#include "png/FourRowUnfilter.h"
#include "png/PieceStream.h"
#include "png/Png.h"
#include "png/PngRegistration.h"
#include "png/RowUnfilter.h"
#include "png/ZlibError.h"
#include "support/BitmapSupport.h"
#include "support/PngTestImages.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using test::BuildPng;
using test::Bytes;
using test::Chunk;
using test::Deflate;
using test::IhdrData;

// Windows-1251 log texts.
const std::string kNotPng = "\xDD\xF2\xEE \xED\xE5 PNG!";
const std::string kHeight = "\xC2\xFB\xF1\xEE\xF2\xE0 ";
const std::string kWidth = "\xD8\xE8\xF0\xE8\xED\xE0 ";
const std::string kBitDepth = "\xC1\xE8\xF2 \xED\xE0 \xEF\xE8\xEA\xF1\xE5\xEB ";
const std::string kColorType = "\xD2\xE8\xEF \xF6\xE2\xE5\xF2\xE0 ";
const std::string kCompression = "\xC2\xE8\xE4 \xF1\xE6\xE0\xF2\xE8\xFF ";
const std::string kFilterMethod =
    "\xD4\xE8\xEB\xFC\xF2\xF0\xE0\xF6\xE8\xFF \xE4\xEE \xF1\xE6\xE0\xF2\xE8\xFF ";
const std::string kFilterTypes = "\xD2\xE8\xEF\xFB \xF4\xE8\xEB\xFC\xF2\xF0\xEE\xE2:";
const std::string kBadHeader =
    "\xCD\xE5\xE4\xEE\xEF\xF3\xF1\xF2\xE8\xEC\xFB\xE9 \xE7\xE0\xE3\xEE\xEB\xEE\xE2\xEE\xEA: ";

void Load(TPNG& png, const Bytes& file) {
    TMemoryStream stream;
    stream.Write(file.data(), static_cast<int64_t>(file.size()));
    stream.SetPosition(0);
    png.LoadFromStream(stream);
}

bool HasLine(const TPNG& png, const std::string& line) {
    for (const auto& l : png.Log().Strings())
        if (l == line) return true;
    return false;
}

// Lines starting with the given text.
int CountPrefix(const TPNG& png, const std::string& prefix) {
    int n = 0;
    for (const auto& l : png.Log().Strings())
        if (l.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

// Decodes with the reader, once with the row fast paths and once with the pixel walk
// alone; both must agree with each other in bitmap and log.
Bytes DecodeBothWays(const Bytes& file, TPNG& fast) {
    Load(fast, file);
    TPNG walk;
    walk.SetPixelWalkOnly(true);
    Load(walk, file);
    EXPECT_EQ(fast.Log().Strings(), walk.Log().Strings());
    EXPECT_EQ(fast.FilterTypesSeen(), walk.FilterTypesSeen());
    EXPECT_EQ(fast.PixelFormat(), walk.PixelFormat());
    const Bytes pixels = test::BitmapPixels(fast);
    EXPECT_EQ(pixels, test::BitmapPixels(walk));
    return pixels;
}

// A converter picture saved by our own writer reads back pixel for pixel, and the log
// shows every chunk.

// The whole log of a 256 x 64 palette picture as our writer makes it, with one IDAT.
std::vector<std::string> PaletteScreenLog(size_t idat) {
    return {"IHDR (13)",
            kHeight + "64",
            kWidth + "256",
            kBitDepth + "8",
            kColorType + "3",
            kCompression + "0",
            kFilterMethod + "0",
            "Adam7 interlace No",
            "",
            "PLTE (768)",
            "",
            "IDAT (" + std::to_string(idat) + ")",
            "",
            "IEND (0)",
            "decompressed 16448",
            kFilterTypes,
            "4",
            ""};
}

TEST(PngReader, OwnPalettePictureReadsBackWithItsLog) {
    test::TempDir dir;
    TPNG saved;
    test::FillRandom(saved, pf8bit, 256, 64, 5, 16);
    saved.SaveToFile(dir.File("p.png"));
    const Bytes file = test::ReadFileBytes(dir.File("p.png"));
    const size_t idat = test::ChunkData(file, "IDAT").size();

    TPNG png;
    png.LoadFromFile(dir.File("p.png"));
    EXPECT_EQ(png.Log().Strings(), PaletteScreenLog(idat));
    EXPECT_EQ(png.PixelFormat(), pf8bit);
    EXPECT_EQ(test::BitmapPixels(png), test::BitmapPixels(saved));
    ASSERT_NE(png.Palette(), nullptr);
    for (int e = 0; e < 16; ++e) {
        EXPECT_EQ(png.Palette()->Entry(e).peRed, saved.Palette()->Entry(e).peRed);
        EXPECT_EQ(png.Palette()->Entry(e).peBlue, saved.Palette()->Entry(e).peBlue);
    }

    // 24- and 32-bit bitmaps come back as they were too.
    for (TPixelFormat format : {pf24bit, pf32bit}) {
        TPNG colour;
        colour.SetPixelFormat(format);
        colour.SetSize(37, 19);
        test::FillRandom(colour, format, 37, 19, 9, 256);
        colour.SaveToFile(dir.File("c.png"));
        TPNG back;
        back.LoadFromFile(dir.File("c.png"));
        EXPECT_EQ(back.PixelFormat(), format);
        EXPECT_EQ(test::BitmapPixels(back), test::BitmapPixels(colour));
    }
}

TEST(PngReader, RegistryLoadsPngFilesAsTpng) {
    test::TempDir dir;
    const Bytes file = BuildPng(IhdrData(2, 1, 8, 0), {Chunk("IDAT", Deflate({0, 3, 4}))});
    test::WriteFileBytes(dir.File("grey.PNG"), file);
    TPngRegistration registration;
    std::unique_ptr<TBitmap> picture = TPicture::LoadFromFile(dir.File("grey.PNG"));
    auto* png = dynamic_cast<TPNG*>(picture.get());
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(test::BitmapPixels(*png), (Bytes{3, 3, 3, 4, 4, 4}));
    EXPECT_TRUE(HasLine(*png, "decompressed 3"));
}

TEST(PngReader, PalettePictureLogsEveryChunkInOrder) {
    test::TRawImage img;
    img.Width = 256;
    img.Height = 64;
    img.ColorType = 3;
    img.Depth = 8;
    for (int e = 0; e < 256; ++e)
        img.Plte.push_back(png_color{static_cast<png_byte>(e), static_cast<png_byte>(255 - e), 7});
    for (uint32_t y = 0; y < img.Height; ++y)
        for (uint32_t x = 0; x < img.Width; ++x)
            img.Rows.push_back(static_cast<uint8_t>((x / 8 + y / 8) % 16));
    const Bytes file = test::LibPngEncode(img, PNG_FILTER_PAETH, 9);
    const size_t idat = test::ChunkData(file, "IDAT").size();

    TPNG png;
    Load(png, file);
    EXPECT_EQ(png.Log().Strings(), PaletteScreenLog(idat));
    EXPECT_EQ(png.PixelFormat(), pf8bit);
    EXPECT_EQ(test::BitmapPixels(png), img.Rows);
    ASSERT_NE(png.Palette(), nullptr);
    EXPECT_EQ(png.Palette()->Entry(200).peRed, 200);
    EXPECT_EQ(png.Palette()->Entry(200).peGreen, 55);
}

TEST(PngReader, GreyBelowEightBitsScalesToFullRange) {
    struct Case {
        int depth;
        std::vector<uint8_t> levels;
    };
    for (const Case& c :
         {Case{1, {0, 255}}, Case{2, {0, 85, 170, 255}},
          Case{4, {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}}}) {
        SCOPED_TRACE(c.depth);
        const int count = 1 << c.depth;
        test::TRawImage img;
        img.Width = static_cast<uint32_t>(count);
        img.Height = 1;
        img.ColorType = 0;
        img.Depth = c.depth;
        img.Rows.assign(img.RowBytes(), 0);
        for (int x = 0; x < count; ++x)  // sample x at column x, first pixel in the high bits
            img.Rows[static_cast<size_t>(x * c.depth / 8)] |=
                static_cast<uint8_t>(x << (8 - c.depth - (x * c.depth) % 8));
        TPNG png;
        const Bytes pixels = DecodeBothWays(test::LibPngEncode(img), png);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(count) * 3);
        for (int x = 0; x < count; ++x) {
            EXPECT_EQ(pixels[x * 3], c.levels[x]);
            EXPECT_EQ(pixels[x * 3 + 2], c.levels[x]);
        }
    }
}

TEST(PngReader, OddWidthFourBitPaletteIgnoresLastLowNibble) {
    // Rows of 5 pixels in 3 bytes; the low half of each third byte is padding (set here).
    const Bytes raw = {0, 0x12, 0x34, 0x5F, 2, 0x00, 0x00, 0x00};
    const Bytes file =
        BuildPng(IhdrData(5, 2, 4, 3), {Chunk("PLTE", Bytes(48, 9)), Chunk("IDAT", Deflate(raw))});
    TPNG png;
    const Bytes pixels = DecodeBothWays(file, png);
    EXPECT_EQ(pixels,
              (Bytes{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));  // the second row is Up from the first
}

TEST(PngReader, SixteenBitSamplesTakeTheirHighByte) {
    const Bytes grey = {0, 0x12, 0x34, 0xAB, 0xFF};
    TPNG a;
    EXPECT_EQ(DecodeBothWays(BuildPng(IhdrData(2, 1, 16, 0), {Chunk("IDAT", Deflate(grey))}), a),
              (Bytes{0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}));
    const Bytes rgba = {0, 0x10, 1, 0x20, 2, 0x30, 3, 0x40, 4};
    TPNG b;
    EXPECT_EQ(DecodeBothWays(BuildPng(IhdrData(1, 1, 16, 6), {Chunk("IDAT", Deflate(rgba))}), b),
              (Bytes{0x30, 0x20, 0x10, 0x40}));
}

TEST(PngReader, TextChunkIsOneLineOfItsBytes) {
    const std::string text("Title\0Hello", 11);
    const Bytes file =
        BuildPng(IhdrData(1, 1, 8, 0),
                 {Chunk("tEXt", Bytes(text.begin(), text.end())), Chunk("IDAT", Deflate({0, 7}))});
    TPNG png;
    Load(png, file);
    EXPECT_TRUE(HasLine(png, "tEXt (11)"));
    EXPECT_TRUE(HasLine(png, text));
    EXPECT_FALSE(HasLine(png, "CRC error"));
}

TEST(PngReader, WrongSignatureGivesOneLineAndLeavesTheBitmap) {
    for (const Bytes& file :
         {Bytes{}, Bytes{0x89, 'P', 'N'}, test::ToBytes("GIF89a not a png at all")}) {
        TPNG png;
        png.SetSize(3, 2);
        png.ScanLine(1)[0] = 77;
        Load(png, file);
        EXPECT_EQ(png.Log().Strings(), std::vector<std::string>{kNotPng});
        EXPECT_EQ(png.Width(), 3);
        EXPECT_EQ(png.ScanLine(1)[0], 77);
    }
}

TEST(PngReader, CrcMismatchIsLoggedAndReadingGoesOn) {
    Bytes text = Chunk("tEXt", test::ToBytes("a"));
    text.back() ^= 1;
    const Bytes file = BuildPng(IhdrData(2, 1, 8, 0), {text, Chunk("IDAT", Deflate({0, 5, 6}))});
    TPNG png;
    Load(png, file);
    const auto& lines = png.Log().Strings();
    auto at = std::find(lines.begin(), lines.end(), "tEXt (1)");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "a");
    EXPECT_EQ(*(at + 2), "CRC error");
    EXPECT_EQ(test::BitmapPixels(png), (Bytes{5, 5, 5, 6, 6, 6}));
}

TEST(PngReader, MissingImageDataRaisesError) {
    TPNG png;
    try {
        Load(png, BuildPng(IhdrData(2, 2, 8, 2), {}));
        FAIL() << "no exception";
    } catch (const ECompressionError& e) {
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(png.Width(), 2);  // the header's effect stays
}

TEST(PngReader, TruncatedCompressedDataRaisesError) {
    Bytes z = Deflate(Bytes(4 * 4 * 3 + 4, 0x55));
    Bytes wrongCheck = z;
    wrongCheck.back() ^= 1;  // every row is there, but not the data's Adler-32
    z.resize(z.size() / 2);
    for (const Bytes& data : {z, wrongCheck}) {
        TPNG png;
        EXPECT_THROW(Load(png, BuildPng(IhdrData(4, 4, 8, 2), {Chunk("IDAT", data)})),
                     ECompressionError);
    }
}

// Headers the decoder cannot follow: one line of ours, the bitmap untouched, no pixels.
TEST(PngReader, UnusableHeadersLeaveTheBitmapAlone) {
    struct Case {
        const char* name;
        Bytes ihdr;
    };
    const Case cases[] = {
        {"zero width", IhdrData(0, 5, 8, 0)},
        {"zero height", IhdrData(5, 0, 8, 0)},
        {"huge", IhdrData(0xFFFFFFFF, 0xFFFFFFFF, 8, 6)},
        {"just over 2^28 pixels", IhdrData(16385, 16384, 8, 0)},
        {"colour type 1", IhdrData(4, 4, 8, 1)},
        {"colour type 5", IhdrData(4, 4, 8, 5)},
        {"colour type 7", IhdrData(4, 4, 8, 7)},
        {"bit depth 0", IhdrData(4, 4, 0, 0)},
        {"bit depth 3", IhdrData(4, 4, 3, 0)},
        {"16-bit palette", IhdrData(4, 4, 16, 3)},
        {"4-bit RGB", IhdrData(4, 4, 4, 2)},
        {"2-bit grey alpha", IhdrData(4, 4, 2, 4)},
        {"compression 1", IhdrData(4, 4, 8, 0, 0, 1)},
        {"filter method 1", IhdrData(4, 4, 8, 0, 0, 0, 1)},
        {"interlace 2", IhdrData(4, 4, 8, 0, 2)},
        {"short IHDR",
         [] {
             Bytes d = IhdrData(4, 4, 8, 0);
             d.pop_back();
             return d;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = BuildPng(c.ihdr, {Chunk("IDAT", Deflate(Bytes(100, 1)))});
        TPNG png;
        png.SetSize(2, 3);
        png.ScanLine(2)[5] = 42;
        ASSERT_NO_THROW(Load(png, file));
        EXPECT_EQ(CountPrefix(png, kBadHeader), 1);
        EXPECT_EQ(png.Width(), 2);
        EXPECT_EQ(png.Height(), 3);
        EXPECT_EQ(png.PixelFormat(), pf24bit);
        EXPECT_EQ(png.ScanLine(2)[5], 42);
        EXPECT_TRUE(HasLine(png, "decompressed 0"));
        EXPECT_TRUE(png.FilterTypesSeen().none());
    }
}

TEST(PngReader, LargestAllowedImageIsAccepted) {
    // 2^28 pixels exactly: the header is taken (no pixel data needed to see that).
    TPNG png;
    ASSERT_NO_THROW(Load(png, BuildPng(IhdrData(16384, 16384, 8, 3), {}, false)));
    EXPECT_EQ(CountPrefix(png, kBadHeader), 0);
    EXPECT_EQ(png.Width(), 16384);
}

TEST(PngReader, ChunkLengthPastTheDataReadsWhatIsThere) {
    Bytes file = BuildPng(IhdrData(1, 1, 8, 0), {Chunk("IDAT", Deflate({0, 9}))}, false);
    Bytes big = Chunk("tEXt", test::ToBytes("abc"), 0x7FFFFFF0);
    big.resize(big.size() - 4);  // no CRC either
    file.insert(file.end(), big.begin(), big.end());
    TPNG png;
    ASSERT_NO_THROW(Load(png, file));
    EXPECT_TRUE(HasLine(png, "tEXt (2147483632)"));
    EXPECT_TRUE(HasLine(png, "abc"));
    EXPECT_TRUE(HasLine(png, "CRC error"));

    // The same with an IDAT and a made-up chunk claiming nearly 4 GiB.
    for (const char* type : {"IDAT", "zzZz", "PLTE", "IHDR"}) {
        SCOPED_TRACE(type);
        Bytes f = BuildPng(IhdrData(1, 1, 8, 0), {}, false);
        const Bytes c = Chunk(type, {1, 2, 3}, 0xFFFFFFF0);
        f.insert(f.end(), c.begin(), c.end());
        TPNG p;
        ASSERT_NO_THROW(Load(p, f));
        EXPECT_TRUE(HasLine(p, std::string(type) + " (4294967280)"));
    }
}

TEST(PngReader, NoEndChunkGivesSizeButNoPixels) {
    const Bytes file =
        BuildPng(IhdrData(3, 2, 8, 2), {Chunk("IDAT", Deflate(Bytes(20, 0x40)))}, false);
    TPNG png;
    ASSERT_NO_THROW(Load(png, file));
    EXPECT_EQ(png.Width(), 3);
    EXPECT_EQ(png.Height(), 2);
    EXPECT_EQ(test::BitmapPixels(png), Bytes(18, 0));
    EXPECT_EQ(CountPrefix(png, "decompressed"), 0);
}

TEST(PngReader, OversizedAndRaggedPalettes) {
    struct Case {
        size_t length;
        int entries;  // whole entries used
    };
    for (const Case& c : {Case{900, 256}, Case{10, 3}, Case{2, 0}, Case{768, 256}}) {
        SCOPED_TRACE(c.length);
        Bytes plte(c.length);
        for (size_t i = 0; i < plte.size(); ++i) plte[i] = static_cast<uint8_t>(i % 251 + 1);
        const Bytes file =
            BuildPng(IhdrData(1, 1, 8, 3), {Chunk("PLTE", plte), Chunk("IDAT", Deflate({0, 2}))});
        TPNG png;
        ASSERT_NO_THROW(Load(png, file));
        ASSERT_NE(png.Palette(), nullptr);
        ASSERT_EQ(png.Palette()->Count(), 256);
        if (c.entries > 0) {
            const auto& last = png.Palette()->Entry(c.entries - 1);
            EXPECT_EQ(last.peRed, plte[3 * (c.entries - 1)]);
            EXPECT_EQ(last.peBlue, plte[3 * (c.entries - 1) + 2]);
        }
        if (c.entries < 256) {
            EXPECT_EQ(png.Palette()->Entry(c.entries).peRed, 0);
        }
        EXPECT_EQ(test::BitmapPixels(png), Bytes{2});
    }
}

TEST(PngReader, SurplusInflatedDataNeverOverwriteTheImage) {
    // 4 x 4 grey: 20 bytes of image, then rows of other pixels that must not be used.
    const Bytes surplus = [] {
        Bytes rows;
        for (int r = 0; r < 200; ++r)
            for (uint8_t b : {0, 99, 99, 99, 99}) rows.push_back(b);
        return rows;
    }();
    Bytes raw;
    for (int y = 0; y < 4; ++y)
        for (int x = -1; x < 4; ++x) raw.push_back(x < 0 ? 0 : static_cast<uint8_t>(y + 10 * x));
    raw.insert(raw.end(), surplus.begin(), surplus.end());
    for (int interlace : {0, 1}) {
        SCOPED_TRACE(interlace);
        Bytes image = raw;
        if (interlace == 1) {  // the same pixels by passes (4 x 4 has passes 1, 2 empty... )
            const Bytes file = test::LibPngEncode(
                [&] {
                    test::TRawImage img;
                    img.Width = img.Height = 4;
                    img.Depth = 8;
                    img.Interlace = 1;
                    for (int y = 0; y < 4; ++y)
                        for (int x = 0; x < 4; ++x) img.Rows.push_back(uint8_t(y + 10 * x));
                    return img;
                }(),
                PNG_FILTER_NONE);
            image = test::Inflate(test::ChunkData(file, "IDAT"));
            image.insert(image.end(), surplus.begin(), surplus.end());
        }
        const Bytes file =
            BuildPng(IhdrData(4, 4, 8, 0, interlace), {Chunk("IDAT", Deflate(image))});
        TPNG png;
        const Bytes pixels = DecodeBothWays(file, png);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(pixels[(y * 4 + x) * 3], y + 10 * x) << x << "," << y;
        EXPECT_TRUE(HasLine(png, "decompressed 28"));  // (4 + 3) x 4 x 1
    }
}

TEST(PngReader, OneRowAdam7ImageGetsRoomForAllItsPasses) {
    test::TRawImage img;
    img.Width = 9;
    img.Height = 1;
    img.Depth = 8;
    img.Interlace = 1;
    img.Rows = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    TPNG png;
    EXPECT_EQ(DecodeBothWays(test::LibPngEncode(img), png),
              (Bytes{10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40, 50, 50,
                     50, 60, 60, 60, 70, 70, 70, 80, 80, 80, 90, 90, 90}));
    EXPECT_TRUE(HasLine(png, "decompressed 13"));  // passes 1, 2, 4, 6: 3 + 2 + 3 + 5 bytes
}

TEST(PngReader, LogIsClearedAndFilterTypesAccumulate) {
    test::TRawImage img = test::RandomImage(8, 8, 0, 8, 0, 1);
    TPNG png;
    Load(png, test::LibPngEncode(img, PNG_FILTER_SUB));
    Load(png, test::LibPngEncode(img, PNG_FILTER_UP));
    EXPECT_TRUE(png.FilterTypesSeen()[1]);
    EXPECT_TRUE(png.FilterTypesSeen()[2]);
    EXPECT_EQ(png.Log().Count(), 17);  // header 9, IDAT 2, IEND with two filter types 6
}

// Every colour type and depth, both interlace methods, each filter and libpng's mix, at
// sizes round the Adam7 pattern: the row fast paths, the pixel walk and libpng agree.
TEST(PngReader, FastPathsWalkAndLibpngAgree) {
    struct Format {
        int colorType, depth;
    };
    const Format formats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                           PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {2, 3},  {3, 2},   {4, 9}, {5, 5},
                                                   {7, 1}, {9, 10}, {17, 13}, {33, 4}};
    uint32_t seed = 0;
    for (const Format& f : formats)
        for (int interlace : {0, 1})
            for (int filter : filters)
                for (auto [w, h] : sizes) {
                    SCOPED_TRACE(testing::Message()
                                 << "type " << f.colorType << " depth " << f.depth << " interlace "
                                 << interlace << " filter " << filter << " " << w << "x" << h);
                    const test::TRawImage img =
                        test::RandomImage(w, h, f.colorType, f.depth, interlace, ++seed);
                    const Bytes file = test::LibPngEncode(img, filter);
                    const test::TDecoded ref = test::LibPngDecode(file);
                    ASSERT_TRUE(ref.Ok);
                    TPNG png;
                    const Bytes pixels = DecodeBothWays(file, png);
                    ASSERT_EQ(pixels, test::ExpectedPixels(ref));
                    if (::testing::Test::HasFailure()) return;
                }
}

// Four rows of one filter at once against one row at a time, on random bytes laid out as
// the decoder keeps them (a filter byte before each row, bytes after the last): every
// pixel size, lengths around the steps by which the rows trail each other, and a few
// long rows. Nothing outside the rows may change.
TEST(PngReader, FourRowUnfilterMatchesRowByRow) {
    std::vector<int64_t> widths;
    for (int64_t n = 1; n <= 70; ++n) widths.push_back(n);
    widths.insert(widths.end(), {255, 1000, 4099});
    std::mt19937 random(5);
    int ran = 0;
    // One filter for all four rows, and rows of different filters (taken where two or
    // more of them chain along the row; a value no filter has is never taken).
    using TFilters = std::array<TFilterType, 4>;
    using enum TFilterType;
    constexpr TFilterType kNoFilter{5};
    const std::vector<std::pair<TFilters, bool>> groups = {
        {{Average, Average, Average, Average}, true},
        {{Paeth, Paeth, Paeth, Paeth}, true},
        {{Paeth, Up, Average, Sub}, true},
        {{None, Paeth, Sub, Paeth}, true},
        {{Up, Average, None, Average}, true},
        {{Paeth, Paeth, Sub, Up}, true},
        {{Sub, Up, Paeth, None}, false},
        {{Paeth, kNoFilter, Paeth, Paeth}, false},
        {{Sub, Sub, Sub, Sub}, false}};
    int wide = 0;  // widths that have the four-row way
    for (const TVectorWidth width : test::AllWidths()) {
        const TProcessorFeatures& features = ProcessorFeatures(width);
        wide += width >= TVectorWidth::Avx2;
        for (int bpp : {1, 2, 3, 4, 6, 8})
            for (const auto& [filters, taken] : groups)
                for (int64_t n : widths) {
                    const int64_t len = n * bpp, stride = len + 1;
                    Bytes data(static_cast<size_t>(len + 4 * stride + 16));
                    for (auto& byte : data) byte = static_cast<uint8_t>(random());
                    Bytes expected = data;
                    uint8_t* const rows[4] = {&data[len + 1], &data[len + 1 + stride],
                                              &data[len + 1 + 2 * stride],
                                              &data[len + 1 + 3 * stride]};
                    if (!UnfilterFourRows(filters.data(), rows, data.data(), len, bpp, features)) {
                        EXPECT_EQ(data, expected);
                        continue;
                    }
                    ran += taken ? 1 : 1000;
                    for (int64_t k = 0; k < 4; ++k)
                        UnfilterRow(filters[static_cast<size_t>(k)],
                                    &expected[len + 1 + k * stride],
                                    &expected[k == 0 ? 0 : len + 1 + (k - 1) * stride], len, bpp);
                    ASSERT_EQ(data, expected)
                        << "bpp " << bpp << " filters " << static_cast<int>(filters[0])
                        << static_cast<int>(filters[1]) << static_cast<int>(filters[2])
                        << static_cast<int>(filters[3]) << " width " << n;
                }
    }
    // At the widths with AVX2, pixels of one to four bytes take the four-row way.
    EXPECT_EQ(ran, wide * 4 * 6 * static_cast<int>(widths.size()));
}

// Images whose filtered data outgrow the decoder's row buffer, so that rows are carried
// over refills (the row above included), whole and cut short. Up on every row makes each
// row depend on the one carried over.
TEST(PngReader, LargeImagesAcrossBufferRefills) {
    struct Case {
        uint32_t w, h;
        int colorType, depth, interlace, filters = PNG_ALL_FILTERS;
    };
    for (const Case& c :
         {Case{300, 260, 6, 8, 0}, Case{257, 200, 2, 16, 1}, Case{2000, 1100, 0, 1, 0},
          Case{700, 700, 3, 4, 1}, Case{600, 400, 6, 8, 0, PNG_FILTER_UP},
          Case{500, 300, 2, 8, 1, PNG_FILTER_PAETH}, Case{400, 300, 6, 8, 0, PNG_FILTER_AVG},
          Case{300, 200, 0, 16, 0}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " type " << c.colorType);
        const test::TRawImage img =
            test::RandomImage(c.w, c.h, c.colorType, c.depth, c.interlace, c.w);
        const Bytes file = test::LibPngEncode(img, c.filters, 1);
        // Every width's kernels: shuffled stores, the four-row un-filter, the sums.
        const Bytes want = test::ExpectedPixels(test::LibPngDecode(file));
        for (const TVectorWidth width : test::AllWidths()) {
            TPNG png(width);
            ASSERT_EQ(DecodeBothWays(file, png), want) << "width " << static_cast<int>(width);
        }

        const Bytes inflated = test::Inflate(test::ChunkData(file, "IDAT"));
        const Bytes part(inflated.begin(),
                         inflated.begin() + static_cast<long>(inflated.size() * 7 / 10 + 5));
        std::vector<Bytes> chunks = {Chunk("IDAT", Deflate(part, 1))};
        if (c.colorType == 3) chunks.insert(chunks.begin(), Chunk("PLTE", Bytes(48, 1)));
        TPNG cut;
        DecodeBothWays(BuildPng(IhdrData(c.w, c.h, c.depth, c.colorType, c.interlace), chunks),
                       cut);
        EXPECT_TRUE(HasLine(cut, "decompressed " + std::to_string(part.size())));
    }
}

// Inflated data cut anywhere (also inside a row or a pixel): the fast paths hand the
// unfinished row to the walk, so both still give the same bitmap, and nothing breaks.
TEST(PngReader, ShortImageDataDecodeTheSameBothWays) {
    struct Format {
        int colorType, depth;
    };
    const Format formats[] = {{0, 2}, {0, 16}, {2, 8}, {3, 4}, {4, 16}, {6, 8}};
    uint32_t seed = 100;
    for (const Format& f : formats)
        for (int interlace : {0, 1}) {
            const test::TRawImage img =
                test::RandomImage(11, 7, f.colorType, f.depth, interlace, ++seed);
            const Bytes file = test::LibPngEncode(img, PNG_ALL_FILTERS);
            const Bytes inflated = test::Inflate(test::ChunkData(file, "IDAT"));
            for (size_t cut = 0; cut < inflated.size(); cut += 3) {
                SCOPED_TRACE(testing::Message() << "type " << f.colorType << " interlace "
                                                << interlace << " cut " << cut);
                const Bytes part(inflated.begin(), inflated.begin() + static_cast<long>(cut));
                std::vector<Bytes> chunks = {Chunk("IDAT", Deflate(part))};
                if (f.colorType == 3) chunks.insert(chunks.begin(), Chunk("PLTE", Bytes(48, 1)));
                TPNG png;
                DecodeBothWays(BuildPng(IhdrData(11, 7, f.depth, f.colorType, interlace), chunks),
                               png);
                EXPECT_TRUE(HasLine(png, "decompressed " + std::to_string(cut)));
                if (::testing::Test::HasFailure()) return;
            }
        }
}

// The IDAT data are read in place, piece by piece: reads across piece ends, the seeks
// the inflater makes (back by its unused input, and to the start), and the end.
TEST(PngReader, PieceStreamReadsPiecesAsOneBlock) {
    const Bytes a = {1, 2, 3}, b = {4}, c = {5, 6, 7, 8};
    TPieceStream s;
    s.Append(a.data(), 3);
    s.Append(b.data(), 0);  // empty pieces are nothing
    s.Append(b.data(), 1);
    s.Append(c.data(), 4);
    EXPECT_EQ(s.Size(), 8);
    uint8_t buf[10] = {};
    EXPECT_EQ(s.Read(buf, 2), 2);
    EXPECT_EQ(s.Read(buf + 2, 5), 5);
    EXPECT_EQ(Bytes(buf, buf + 7), (Bytes{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(s.Seek(-4, soCurrent), 3);
    EXPECT_EQ(s.Read(buf, 10), 5);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{4, 5, 6, 7, 8}));
    EXPECT_EQ(s.Read(buf, 1), 0);
    s.SetPosition(0);
    EXPECT_EQ(s.Read(buf, 4), 4);
    EXPECT_EQ(buf[3], 4);
    EXPECT_THROW(s.Write(buf, 1), EStreamError);
}

// A file whose image data come in many small IDAT chunks decodes like one with a single one.
TEST(PngReader, ManyImageDataChunksAreOneStream) {
    const test::TRawImage img = test::RandomImage(40, 30, 2, 8, 0, 77);
    const Bytes z = test::Inflate(test::ChunkData(test::LibPngEncode(img), "IDAT"));
    const Bytes compressed = Deflate(z);
    std::vector<Bytes> chunks;
    for (size_t at = 0; at < compressed.size(); at += 7)
        chunks.push_back(Chunk(
            "IDAT",
            Bytes(compressed.begin() + static_cast<long>(at),
                  compressed.begin() + static_cast<long>(std::min(at + 7, compressed.size())))));
    chunks.insert(chunks.begin() + 3,
                  Chunk("zzZz", {1, 2}));  // other chunks between them are passed over
    TPNG png;
    EXPECT_EQ(DecodeBothWays(BuildPng(IhdrData(40, 30, 8, 2), chunks), png),
              test::ExpectedPixels(test::LibPngDecode(test::LibPngEncode(img))));
    EXPECT_FALSE(HasLine(png, "CRC error"));
}

// Damaged files (bytes changed, cut short, chunks repeated) never take the reader out of
// its buffers or past the end of the data: each load ends with the log or "error". Built
// with the sanitizers, any stray access fails here.
TEST(PngReader, DamagedFilesEndInTheLogOrTheDecompressionError) {
    std::mt19937 rng(2024);
    const test::TRawImage images[] = {
        test::RandomImage(19, 11, 6, 16, 1, 1), test::RandomImage(9, 4, 3, 2, 0, 2),
        test::RandomImage(30, 3, 0, 1, 1, 3), test::RandomImage(6, 17, 2, 8, 0, 4)};
    for (const auto& img : images) {
        const Bytes good = test::LibPngEncode(img);
        for (int round = 0; round < 300; ++round) {
            Bytes file = good;
            switch (round % 3) {
                case 0:  // a few bytes changed, header and lengths included
                    for (int k = 0; k < 3; ++k)
                        file[rng() % file.size()] = static_cast<uint8_t>(rng());
                    break;
                case 1:  // cut short
                    file.resize(rng() % file.size());
                    break;
                default: {  // a stretch of the file repeated somewhere else
                    const size_t from = rng() % file.size(), len = rng() % 40;
                    const Bytes piece(
                        file.begin() + static_cast<long>(from),
                        file.begin() + static_cast<long>(std::min(from + len, file.size())));
                    file.insert(file.begin() + static_cast<long>(rng() % file.size()),
                                piece.begin(), piece.end());
                }
            }
            // Sizes up to the limit are fine but slow to allocate; keep them small here.
            if (file.size() >= 24 &&
                uint64_t{test::BigEndianAt(file, 16)} * test::BigEndianAt(file, 20) > (1u << 20))
                std::copy(good.begin() + 16, good.begin() + 24, file.begin() + 16);
            for (bool walkOnly : {false, true}) {
                TPNG png;
                png.SetPixelWalkOnly(walkOnly);
                try {
                    Load(png, file);
                    EXPECT_TRUE(png.Log().Count() > 0 ||
                                file.size() == 8);  // a bare signature logs nothing
                } catch (const ECompressionError& e) {
                    EXPECT_STREQ(e.what(), "error");
                }
            }
        }
    }
}

}  // namespace
}  // namespace quill
