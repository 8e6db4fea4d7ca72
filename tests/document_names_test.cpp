#include <gtest/gtest.h>

#include "convert/DocumentNames.h"

namespace quill {
namespace {

TEST(DocumentNames, NamesComeFromTheLastPathComponent) {
    struct Case {
        const char* path;
        const char* baseName;
        bool skipHeader;
    };
    const Case cases[] = {
        {"C:\\mag\\obzor.$w", "obzor", true},
        {"C:\\mag\\obzor.$w!", "obzor", false},
        {"C:\\mag\\obzor.txt", "obzor", false},
        {"C:\\mag.old\\obzor.$w", "obzor", true},
        {"mag.old/obzor.$w", "obzor", true},
        {"/home/a.b/c.d\\obzor.$1", "obzor", true},
        {"obzor.part1.$w", "obzor", false},
        {"obzor.$", "obzor", false},
        {"obzor.$ab", "obzor", false},
        {"obzor.x$", "obzor", false},
        {"obzor.$\xd0\xb6", "obzor", true},  // "ж" in UTF-8: one character
        {"obzor.$\xd0\xb6\xd0\xb6", "obzor", false},
        {"obzor.$\xa6", "obzor", true},  // a lone byte of a single-byte code page
        {"dir.x/noext", "noext", false},
        {"noext", "noext", false},
        {"mag\\", "", false},
        {".$w", "", true},
    };
    for (const Case& c : cases) {
        const names::TDocumentName name = names::DeriveNames(c.path);
        EXPECT_EQ(name.BaseName, c.baseName) << c.path;
        EXPECT_EQ(name.SkipHeader, c.skipHeader) << c.path;
    }
}

// The commit order tells by name which documents may write a file: a picture name must
// parse back to exactly the names PictureName gives.
TEST(DocumentNames, PictureNamesParseBackToTheirDocument) {
    struct Case {
        const char* fileName;
        const char* baseName;
        bool picture;
    };
    const Case cases[] = {
        {"1a.png", "a", true},      {"11a.bmp", "a", true}, {"11a.png", "1a", true},
        {"a.png", "a", false},      {"1a.gif", "a", false}, {"1ab.png", "a", false},
        {"1a.png.png", "a", false}, {"1.png", "", true},    {"x1a.png", "a", false},
        {"12.png", "2", true},      {"1a.htm", "a", false}, {"1A.png", "a", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(names::IsPictureName(c.fileName, c.baseName), c.picture) << c.fileName;
    // Two documents that may write one file are of one family, so only they wait for
    // each other.
    const char* bases[] = {"a", "1a", "11a", "2", "12", "b1", "1", ""};
    for (const char* one : bases)
        for (const char* other : bases)
            for (int n = 1; n <= 120; ++n)
                if (names::IsPictureName(names::PictureName(n, one, n % 2 == 0), other)) {
                    EXPECT_EQ(names::PictureFamily(one), names::PictureFamily(other))
                        << one << " " << other << " " << n;
                }
    EXPECT_EQ(names::PictureName(11, "a", false), "11a.png");
    EXPECT_EQ(names::Join("", "x"), "x");
    EXPECT_EQ(names::Join("d", "x"), "d/x");
    EXPECT_EQ(names::Join("d/", "x"), "d/x");
}

}  // namespace
}  // namespace quill
