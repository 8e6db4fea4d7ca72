#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "platform/Bitmap.h"
#include "png/Png.h"
#include "support/PngTestImages.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using test::BuildPng;
using test::Bytes;
using test::Chunk;
using test::Deflate;
using test::IhdrData;

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Runs the tool with the arguments (already quoted) and collects what it printed.
TRun Inspect(const test::TempDir& dir, const std::string& args) {
    const std::string tool = test::ToolCommand("pnginspect");
    const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
    const int rc = test::RunTool(tool + " " + args + " >" + out + " 2>" + err, out, err);
    TRun run;
    run.Status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    run.Out = test::ToString(test::ReadFileBytes(out));
    run.Err = test::ToString(test::ReadFileBytes(err));
    return run;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PngInspect, PrintsTheLogAsUtf8) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("a.png"),
                         BuildPng(IhdrData(3, 2, 8, 0), {Chunk("IDAT", Deflate(Bytes(8, 1)))}));
    const TRun run = Inspect(dir, dir.File("a.png"));
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.substr(0, 10), "IHDR (13)\n");
    EXPECT_TRUE(Contains(run.Out, "\nВысота 2\nШирина 3\nБит на пиксел 8\nТип цвета 0\n"));
    EXPECT_TRUE(Contains(run.Out, "\nВид сжатия 0\nФильтрация до сжатия 0\nAdam7 interlace No\n"));
    EXPECT_TRUE(Contains(run.Out, "\nТипы фильтров:\n1\n"));
    EXPECT_TRUE(run.Err.empty());
}

TEST(PngInspect, SeveralFilesGetHeadersAndProblemsOnlyLoggedExitZero) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("not.png"), test::ToBytes("plain text"));
    Bytes bad = BuildPng(IhdrData(1, 1, 8, 0), {Chunk("IDAT", Deflate({0, 1}))});
    bad[29] ^= 0xFF;  // the IHDR CRC
    test::WriteFileBytes(dir.File("crc.png"), bad);
    const TRun run = Inspect(dir, dir.File("not.png") + " " + dir.File("crc.png"));
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(Contains(run.Out, "==> " + dir.File("not.png") + " <==\nЭто не PNG!\n==> " +
                                      dir.File("crc.png") + " <==\nIHDR (13)\n"));
    EXPECT_TRUE(Contains(run.Out, "CRC error\n"));
}

TEST(PngInspect, ExceptionsNameTheFileAndExitOne) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("noidat.png"), BuildPng(IhdrData(2, 2, 8, 0), {}));
    TRun run = Inspect(dir, dir.File("noidat.png"));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "pnginspect: " + dir.File("noidat.png") + ": error\n");
    EXPECT_TRUE(Contains(run.Out, "IEND (0)\n"));  // the log up to the failure is shown

    run = Inspect(dir, dir.File("missing.png"));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err.rfind("pnginspect: " + dir.File("missing.png") + ": ", 0), 0u);

    EXPECT_EQ(Inspect(dir, "").Status, 2);
    EXPECT_EQ(Inspect(dir, "--bmp x.bmp a.png b.png").Status, 2);
    EXPECT_EQ(Inspect(dir, "--bogus a.png").Status, 2);
}

// Help and version go to stdout with status 0 and stop the run: man pages are made from them.
TEST(PngInspect, HelpAndVersionExitZeroWithoutLoading) {
    test::TempDir dir;
    TRun run = Inspect(dir, "--help " + dir.File("missing.png"));
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.rfind("Usage: pnginspect ", 0), 0u);
    EXPECT_TRUE(Contains(run.Out, "--bmp OUT.bmp"));
    EXPECT_TRUE(run.Err.empty());
    run = Inspect(dir, "--version");
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(std::regex_match(run.Out, std::regex("pnginspect [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << run.Out;
}

// --bmp writes the bitmap through the bitmap's own BMP writer, in the format the load
// gave: 8-bit with the palette, 24-bit, or 32-bit with the alpha in the fourth byte.
TEST(PngInspect, WritesTheLoadedBitmapAsBmp) {
    struct Case {
        int colorType, bitsPerPixel;
    };
    for (const Case& c : {Case{3, 8}, Case{2, 24}, Case{6, 32}, Case{0, 24}, Case{4, 32}}) {
        SCOPED_TRACE(c.colorType);
        test::TempDir dir;
        const test::TRawImage img = test::RandomImage(13, 5, c.colorType, 8, 0, 3);
        test::WriteFileBytes(dir.File("in.png"), test::LibPngEncode(img));
        const TRun run = Inspect(dir, "--bmp " + dir.File("out.bmp") + " " + dir.File("in.png"));
        ASSERT_EQ(run.Status, 0) << run.Err;
        const Bytes bmp = test::ReadFileBytes(dir.File("out.bmp"));
        ASSERT_GT(bmp.size(), 54u);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[28], c.bitsPerPixel);

        TPNG png;
        png.LoadFromFile(dir.File("in.png"));
        TBitmap back;
        back.LoadFromFile(dir.File("out.bmp"));
        EXPECT_EQ(back.PixelFormat(), png.PixelFormat());
        EXPECT_EQ(test::BitmapPixels(back), test::BitmapPixels(png));
        if (c.colorType == 3) {
            ASSERT_NE(back.Palette(), nullptr);
            EXPECT_EQ(back.Palette()->Entry(1).peGreen, img.Plte[1].green);
        }
    }
}

}  // namespace
}  // namespace quill
