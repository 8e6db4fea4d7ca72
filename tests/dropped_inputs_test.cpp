// What a drop on vornik2html.exe converts where: documents beside themselves, a folder
// into a site beside it.
#include <gtest/gtest.h>

#include "platform/MemoryPlatform.h"
#include "tools/entry/DroppedInputs.h"

namespace quill {
namespace {

TEST(DroppedInputs, DocumentsBesideThemselvesAndAFolderIntoASiteBesideIt) {
    TMemoryPlatform platform;
    for (const char* f : {"/a/x.$w", "/a/y.$w", "/a/arc/z.$w", "/b/w.$w"})
        platform.WriteFile(f, "x\r");
    const std::vector<TCallSettings> calls =
        DroppedCalls({"/a/x.$w", "/a/arc/", "/a/y.$w", "/b/w.$w"}, {}, platform);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].dir, "/a/");
    EXPECT_EQ(calls[0].inputs, (std::vector<std::string>{"/a/x.$w", "/a/y.$w"}));
    EXPECT_EQ(calls[1].dir, "/a/arc-site");
    EXPECT_EQ(calls[1].inputs, (std::vector<std::string>{"/a/arc/"}));
    EXPECT_EQ(calls[2].dir, "/b/");
    EXPECT_TRUE(LooksDropped({"/a/x.$w", "/a/arc"}, platform));
    // An option, a name that is not there, or nothing at all: a command line as typed.
    EXPECT_FALSE(LooksDropped({"--html5", "/a/x.$w"}, platform));
    EXPECT_FALSE(LooksDropped({"/a/missing.$w"}, platform));
    EXPECT_FALSE(LooksDropped({}, platform));
}

}  // namespace
}  // namespace quill
