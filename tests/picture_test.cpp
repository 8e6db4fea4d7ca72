#include <gtest/gtest.h>

#include "platform/Picture.h"
#include "png/PngRegistration.h"
#include "support/BitmapSupport.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

// A bitmap class of its own, so the registry's choice of class can be seen.
class TTestBitmap : public TBitmap {};

std::string MessageOf(const std::string& fileName) {
    try {
        TPicture::LoadFromFile(fileName);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(loaded)";
}

TEST(Picture, LoadsThroughTheClassRegisteredForTheExtension) {
    test::TempDir dir;
    TBitmap source;
    test::FillRandom(source, pf8bit, 5, 4, 7);
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp", "d.x.bmp"})
        source.SaveToFile(dir.File(name));

    TPicture::RegisterFileFormat<TTestBitmap>("bmp", "Test bitmaps");
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp", "d.x.bmp"}) {
        std::unique_ptr<TBitmap> loaded = TPicture::LoadFromFile(dir.File(name));
        EXPECT_NE(dynamic_cast<TTestBitmap*>(loaded.get()), nullptr) << name;
        EXPECT_EQ(loaded->Width(), 5);
        EXPECT_EQ(loaded->ScanLine(3)[4], source.ScanLine(3)[4]);
    }
    EXPECT_NE(TPicture::Filter().find("Test bitmaps (*.bmp)"), std::string::npos);

    // Errors name the file and say what is wrong.
    const std::string missing = dir.File("missing.bmp");
    EXPECT_NE(MessageOf(missing).find(missing), std::string::npos);
    const std::string junk = dir.File("junk.bmp");
    test::WriteFileBytes(junk, test::ToBytes("not a picture at all, not even close"));
    EXPECT_NE(MessageOf(junk).find(junk), std::string::npos);
    EXPECT_NE(MessageOf(junk).find("not a BMP file"), std::string::npos) << MessageOf(junk);
    const std::string other = dir.File("notes.txt");
    EXPECT_NE(MessageOf(other).find("unknown picture file extension \".txt\""), std::string::npos);
    EXPECT_NE(MessageOf(other).find(other), std::string::npos);
    EXPECT_NE(MessageOf(dir.File("x.bmp.d/noext")).find("no extension"), std::string::npos);

    TPicture::UnregisterGraphicClass(typeid(TTestBitmap));
    EXPECT_NE(MessageOf(dir.File("a.bmp")).find("unknown picture file extension"),
              std::string::npos);
    EXPECT_EQ(TPicture::Filter().find("Test bitmaps"), std::string::npos);
}

TEST(Picture, PngRegistrationLastsAsLongAsItsObject) {
    {
        TPngRegistration registration;
        EXPECT_NE(TPicture::Filter().find("PNG Image File (*.png)"), std::string::npos);
    }
    EXPECT_EQ(TPicture::Filter().find("PNG"), std::string::npos);
}

}  // namespace
}  // namespace quill
