#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/MemoryStream.h"
#include "png/Png.h"
#include "png/ZlibError.h"
#include "support/PngTestImages.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

std::vector<std::filesystem::path> SuiteFiles(bool broken) {
    std::vector<std::filesystem::path> files;
    const auto dir = test::PngSuiteDir();
    if (dir.empty()) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const auto name = entry.path().filename().string();
        if (entry.path().extension() != ".png") continue;
        if ((name[0] == 'x') == broken) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void LoadFile(TPNG& png, const test::Bytes& file) {
    TMemoryStream stream;
    stream.Write(file.data(), static_cast<int64_t>(file.size()));
    stream.SetPosition(0);
    png.LoadFromStream(stream);
}

// Every well-formed suite image decodes to libpng's samples (transparency, gamma and
// background are not applied by either side), with the fast paths and with the walk.
TEST(PngSuite, GoodImagesMatchLibpng) {
    const auto files = SuiteFiles(false);
    if (files.empty())
        GTEST_SKIP() << "PngSuite not found beside the project (../shared/testdata/pngsuite)";
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const test::Bytes file = test::ReadFileBytes(path.string());
        const test::TDecoded ref = test::LibPngDecode(file);
        ASSERT_TRUE(ref.Ok);
        for (bool walkOnly : {false, true}) {
            TPNG png;
            png.SetPixelWalkOnly(walkOnly);
            ASSERT_NO_THROW(LoadFile(png, file));
            ASSERT_EQ(png.Width(), static_cast<int>(ref.Width));
            ASSERT_EQ(png.Height(), static_cast<int>(ref.Height));
            EXPECT_TRUE(test::BitmapPixels(png) == test::ExpectedPixels(ref))
                << "walk only: " << walkOnly;
            EXPECT_EQ(
                std::count(png.Log().Strings().begin(), png.Log().Strings().end(), "CRC error"), 0);
        }
    }
}

// Every broken suite image ends with a line of the log or the decompression error,
// never with anything worse.
TEST(PngSuite, BrokenImagesEndWithALogLineOrTheDecompressionError) {
    const auto files = SuiteFiles(true);
    if (files.empty())
        GTEST_SKIP() << "PngSuite not found beside the project (../shared/testdata/pngsuite)";
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        TPNG png;
        try {
            LoadFile(png, test::ReadFileBytes(path.string()));
            EXPECT_GT(png.Log().Count(), 0);
        } catch (const ECompressionError& e) {
            EXPECT_STREQ(e.what(), "error");
        }
    }
}

}  // namespace
}  // namespace quill
