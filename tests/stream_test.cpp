#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "platform/FileStream.h"
#include "platform/MemoryPlatform.h"
#include "platform/MemoryStream.h"
#include "png/Png.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

TEST(MemoryStream, ReadWriteSeekAndShortTransfers) {
    TMemoryStream s;
    s.WriteBuffer("hello", 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Seek(-2, soEnd), 3);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "lo");
    EXPECT_EQ(s.Read(buf, 8), 0);
    s.SetPosition(1);
    EXPECT_THROW(s.ReadBuffer(buf, 5), EReadError);
    s.SetPosition(7);  // writing past the end fills the gap with zeros
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.Size(), 8);
    EXPECT_EQ(s.Memory()[5], 0);
    EXPECT_EQ(s.Seek(-3, soBeginning), 0);  // before the start: the start
    EXPECT_EQ(s.Read(buf, 8), 8);
    EXPECT_EQ(std::string(buf, 8), std::string("hello\0\0!", 8));
}

TEST(FileStream, ErrorsNameTheFileAndTheReason) {
    test::TempDir dir;
    const std::string missing = dir.File("no-such.bin");
    try {
        TFileStream f(missing, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find(missing), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("No such file"), std::string::npos) << e.Message();
    }
    EXPECT_THROW(TFileStream(dir.File("none/x.bin"), fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream(dir.Path().string(), fmOpenRead), EFOpenError);

    // A failing close is reported, here for pictures saved through a file stream.
    TMemoryPlatform memory;
    memory.SetFault([](TMemoryPlatform::TCall call, const std::string&) {
        return call == TMemoryPlatform::TCall::Close ? EIO : 0;
    });
    for (const bool png : {false, true}) {
        const std::string picture = png ? "/p.png" : "/p.bmp";
        std::unique_ptr<TBitmap> bitmap =
            png ? std::make_unique<TPNG>() : std::make_unique<TBitmap>();
        bitmap->SetPixelFormat(pf8bit);
        bitmap->SetSize(1, 1);
        TFileStream file(picture, fmCreate, memory);
        bitmap->SaveToStream(file);
        try {
            file.Close();
            ADD_FAILURE() << "saved " << picture;
        } catch (const EWriteError& e) {
            EXPECT_EQ(e.Message(), "Cannot close file \"" + picture + "\": Input/output error");
        }
    }
}

TEST(FileStream, CreateEmptiesAndOpenWriteKeeps) {
    test::TempDir dir;
    const std::string name = dir.File("f.bin");
    test::WriteFileBytes(name, test::ToBytes("old contents"));
    {
        TFileStream f(name, fmOpenWrite);
        f.WriteBuffer("NEW", 3);
    }
    EXPECT_EQ(test::ToString(test::ReadFileBytes(name)), "NEW contents");
    {
        TFileStream f(name, fmCreate);
        EXPECT_EQ(f.Size(), 0);
        f.WriteBuffer("abc", 3);
    }
    TFileStream f(name, fmOpenRead);
    char buf[4] = {};
    EXPECT_EQ(f.Read(buf, 4), 3);
    EXPECT_EQ(f.Write("x", 1), 0);  // read-only: nothing written
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
}

}  // namespace
}  // namespace quill
