// Memory stays bounded by what a file really holds, not by what its header claims: each
// load runs in a child process whose peak resident size is measured.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/MemoryStream.h"
#include "png/Png.h"
#include "support/PngTestImages.h"

namespace quill {
namespace {

// Peak resident size in MiB of a child that runs body, and whether it ended normally.
long ChildPeakMiB(void (*body)(const test::Bytes&), const test::Bytes& input) {
    const pid_t pid = fork();
    if (pid == 0) {
        body(input);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss / 1024;
}

void LoadPng(const test::Bytes& file) {
    TMemoryStream stream;
    stream.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    stream.SetPosition(0);
    TPNG png;
    try {
        png.LoadFromStream(stream);
    } catch (const Exception&) {
    }
}

TEST(ResourceLimits, ClaimedWideRowsGetNoRowBuffers) {
    // 2^24 x 1 pixels of 16-bit RGBA: a 64 MiB bitmap, and rows of 128 MiB in the file
    // that the data (a few bytes) never fill. The rows' buffers follow the data.
    for (int interlace : {0, 1}) {
        const test::Bytes file =
            test::BuildPng(test::IhdrData(1u << 24, 1, 16, 6, interlace),
                           {test::Chunk("IDAT", test::Deflate(test::Bytes(100, 0)))});
        const long base = ChildPeakMiB([](const test::Bytes&) {}, file);
        const long peak = ChildPeakMiB(LoadPng, file);
        ASSERT_GE(base, 0);
        ASSERT_GE(peak, 0);
        EXPECT_LT(peak - base, 64 + 40) << "interlace " << interlace;
    }
}

TEST(ResourceLimits, ASecondHeaderOfAnotherFormatDoesNotConvertTheFirstImage) {
    // 2^24 pixels of 1-bit grey (a 48 MiB bitmap), then a header of 3 x 3 RGBA: the
    // large image is dropped, not converted to 32 bits in a second copy of 64 MiB.
    const test::Bytes file =
        test::BuildPng(test::IhdrData(1u << 21, 8, 1, 0, 1),
                       {test::Chunk("IDAT", test::Deflate(test::Bytes(100, 0))),
                        test::Chunk("IHDR", test::IhdrData(3, 3, 16, 4))});
    const long base = ChildPeakMiB([](const test::Bytes&) {}, file);
    const long peak = ChildPeakMiB(LoadPng, file);
    ASSERT_GE(base, 0);
    ASSERT_GE(peak, 0);
    EXPECT_LT(peak - base, 48 + 40);
}

}  // namespace
}  // namespace quill
