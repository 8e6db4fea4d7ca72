// Every input a fuzz target ever failed on, and the targets' seeds, through the same
// checks the targets make. A check that fails aborts, naming the file on stderr first.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "fuzz/ConversionCheck.h"
#include "fuzz/DecompressionCheck.h"
#include "fuzz/PngReaderCheck.h"
#include "fuzz/PngRoundTripCheck.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using TCheck = std::function<void(const uint8_t*, size_t)>;

const std::map<std::string, TCheck>& Checks() {
    static const std::map<std::string, TCheck> checks = {
        {"conversion_fuzz", fuzz::CheckConversion},
        {"decompression_fuzz", fuzz::CheckDecompression},
        {"png_reader_fuzz", fuzz::CheckPngReader},
        {"png_roundtrip_fuzz", fuzz::CheckPngRoundTrip},
    };
    return checks;
}

// Runs every file under folder/TARGET through TARGET's check; answers the files run.
int RunFolder(const std::filesystem::path& folder) {
    int files = 0;
    if (!std::filesystem::is_directory(folder)) return 0;
    for (const auto& target : std::filesystem::directory_iterator(folder)) {
        const auto check = Checks().find(target.path().filename().string());
        EXPECT_NE(check, Checks().end()) << "no fuzz target named " << target.path();
        if (check == Checks().end()) continue;
        for (const auto& file : std::filesystem::directory_iterator(target.path())) {
            std::fprintf(stderr, "%s\n", file.path().string().c_str());
            const test::Bytes bytes = test::ReadFileBytes(file.path().string());
            check->second(bytes.data(), bytes.size());
            ++files;
        }
    }
    return files;
}

TEST(FuzzRegression, FormerFindingsStayFixed) {
    EXPECT_GT(RunFolder(QUILL_SOURCE_DIR "/tests/fuzz/regressions"), 0);
}

TEST(FuzzRegression, SeedsPassTheChecks) {
    EXPECT_GE(RunFolder(QUILL_SOURCE_DIR "/tests/fuzz/corpus"), 4);
}

}  // namespace
}  // namespace quill
