#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "platform/Exception.h"
#include "platform/MemoryPlatform.h"
#include "platform/RecordFile.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EInOutError& e) {
        return e.Message();
    }
    return "";
}

TEST(RecordFile, ReadsEveryByteThenReportsTheEnd) {
    test::TempDir dir;
    const std::string name = dir.File("x.$w");
    // Longer than the buffer, so refills are crossed.
    std::string data(TRecordFile::kBufferSize + 3, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    test::WriteFileBytes(name, test::ToBytes(data));
    TRecordFile f;
    f.Assign(name);
    f.Reset();
    f.Seek(5);
    std::string got;
    while (!f.Eof()) got.push_back(static_cast<char>(f.ReadByte()));
    EXPECT_EQ(got, data.substr(5));
    EXPECT_EQ(ErrorOf([&] { f.ReadByte(); }), "Cannot read \"" + name + "\": end of file");
    f.Seek(1);
    EXPECT_EQ(f.ReadByte(), static_cast<uint8_t>(data[1]));
    f.Seek(static_cast<int64_t>(data.size()) + 10);  // past the end: allowed, then the end
    EXPECT_TRUE(f.Eof());
    f.Close();
    EXPECT_FALSE(f.IsOpen());
}

TEST(RecordFile, WritesKeepEveryByteInOrder) {
    test::TempDir dir;
    const std::string name = dir.File("page.htm");
    test::WriteFileBytes(name, test::ToBytes("old contents that must go"));
    TRecordFile f;
    f.Assign(name);
    f.Rewrite();
    std::string expected;
    const std::string big(TRecordFile::kBufferSize + 17, 'B');
    const std::string mid(TRecordFile::kBufferSize / 2 + 1, 'M');
    for (int round = 0; round < 3; ++round) {
        for (const std::string* piece : {&mid, &big, &mid}) {
            f.Write(*piece);
            expected += *piece;
        }
        f.WriteByte(static_cast<uint8_t>('0' + round));
        expected.push_back(static_cast<char>('0' + round));
        f.Write("");
    }
    f.Close();
    EXPECT_EQ(test::ToString(test::ReadFileBytes(name)), expected);
}

// The buffers are sized by the file: reads of every size around the buffer sizes, and
// byte-by-byte writes through the growing write buffer, keep every byte in order.
TEST(RecordFile, BuffersSizedByTheFileKeepEveryByte) {
    test::TempDir dir;
    const size_t first = TRecordFile::kFirstBufferSize, full = TRecordFile::kBufferSize;
    const size_t read = TRecordFile::kReadBufferSize;
    for (size_t size : {size_t{0}, size_t{1}, first - 1, first, first + 1, read - first - 1,
                        read - first, read + 1, full - first, full + 1}) {
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 13 + i / 509);
        const std::string name = dir.File(std::to_string(size) + ".r");
        test::WriteFileBytes(name, test::ToBytes(data));
        TRecordFile in;
        in.Assign(name);
        in.Reset();
        std::string got;
        while (!in.Eof()) {
            const std::string_view ahead = in.Buffered();
            got.append(ahead);
            in.Consume(ahead.size());
        }
        EXPECT_EQ(got, data) << size;

        TRecordFile out;
        out.Assign(name + ".out");
        out.Rewrite();
        for (size_t i = 0; i < size; ++i) {
            if (i % 3 == 0) {
                out.WriteByte(static_cast<uint8_t>(data[i]));
            } else if (i % 3 == 1) {
                out.Write(std::string_view(data).substr(i, 1));
            } else {
                // Straight into the buffer: the room beyond what is advanced is scratch.
                uint8_t* room = out.Reserve(100);
                std::memset(room, '#', 100);
                room[0] = static_cast<uint8_t>(data[i]);
                out.Advance(1);
            }
        }
        out.Close();
        EXPECT_EQ(test::ToString(test::ReadFileBytes(name + ".out")), data) << size;
    }
}

TEST(RecordFile, FailuresNameTheFileAndTheReason) {
    test::TempDir dir;
    TRecordFile f;
    f.Assign(dir.File("none.$w"));
    EXPECT_EQ(ErrorOf([&] { f.Reset(); }),
              "Cannot open \"" + dir.File("none.$w") + "\": No such file or directory");
    f.Assign(dir.File("no/page.htm"));
    EXPECT_EQ(ErrorOf([&] { f.Rewrite(); }),
              "Cannot create \"" + dir.File("no/page.htm") + "\": No such file or directory");
    f.Assign(dir.Path().string());
    EXPECT_EQ(ErrorOf([&] { f.Reset(); }),
              "Cannot open \"" + dir.Path().string() + "\": Is a directory");
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(ErrorOf([&] { f.ReadByte(); }),
              "Cannot read \"" + dir.Path().string() + "\": file not open");

    // A full device: a small write stays in the buffer, so the error comes with Close;
    // a write larger than the buffer meets it at once. Either way the file is closed.
    f.Assign("/dev/full");
    f.Rewrite();
    f.Write("abc");
    EXPECT_EQ(ErrorOf([&] { f.Close(); }), "Cannot write \"/dev/full\": No space left on device");
    EXPECT_FALSE(f.IsOpen());
    f.Rewrite();
    EXPECT_EQ(ErrorOf([&] { f.Write(std::string(TRecordFile::kBufferSize * 2, 'x')); }),
              "Cannot write \"/dev/full\": No space left on device");
    f.Abandon();
    EXPECT_FALSE(f.IsOpen());

    // A failing close is reported too, after the buffer was handed over.
    TMemoryPlatform memory;
    memory.SetFault([](TMemoryPlatform::TCall call, const std::string&) {
        return call == TMemoryPlatform::TCall::Close ? EIO : 0;
    });
    TRecordFile closing(memory);
    closing.Assign("/page.htm");
    closing.Rewrite();
    closing.Write("abc");
    EXPECT_EQ(ErrorOf([&] { closing.Close(); }), "Cannot close \"/page.htm\": Input/output error");
    EXPECT_FALSE(closing.IsOpen());
    EXPECT_EQ(memory.ReadFile("/page.htm"), "abc");
}

TEST(RecordFile, AbandonKeepsWhatWasWritten) {
    test::TempDir dir;
    const std::string name = dir.File("page.htm");
    {
        TRecordFile f;
        f.Assign(name);
        f.Rewrite();
        f.Write("written before the error");
    }  // the destructor abandons the file
    EXPECT_EQ(test::ToString(test::ReadFileBytes(name)), "written before the error");
}

}  // namespace
}  // namespace quill
