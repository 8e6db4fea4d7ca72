#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/ConvertSupport.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using test::Body;
using test::TempDir;

std::string Img(int n, const char* ext = "png") {
    return "<img src=\"" + std::to_string(n) + "doc." + ext + "\" width=\"640\">\r\n";
}
std::string Row(int row) {
    return "\xff"s + static_cast<char>(128 + row) + "\r";
}

struct TPictureRun {
    std::string page;
    std::string error;
    std::vector<std::pair<int, int>> table;  // FirstRow, RowCount of the kept pictures
    int currentPicture = 0;
};

TPictureRun Convert(const std::string& document, bool bmp = false) {
    TempDir dir;
    test::WriteFileBytes(dir.File("doc.$w!"), test::ToBytes(document));
    std::vector<std::string> log;
    test::TLoggingOptions options(log);
    options.colors = true;
    options.bmp = bmp;
    test::TLoggingChooser chooser(log);
    chooser.input = dir.File("doc.$w!");
    chooser.page = dir.File("doc.htm");
    TConversionRun run(options, chooser);
    TPictureRun out;
    try {
        run.Run();
    } catch (const Exception& e) {
        out.error = e.Message();
    }
    out.page = test::ToString(test::ReadFileBytes(dir.File("doc.htm")));
    const TPictureStore& pictures = run.Pictures();
    for (int i = 1; i <= pictures.Count(); ++i)
        out.table.emplace_back(pictures.Table()[i].FirstRow, pictures.Table()[i].RowCount);
    out.currentPicture = pictures.Count() + 1;
    return out;
}

TEST(PictureLines, RunsBecomeImageLines) {
    struct Case {
        const char* what;
        std::string document;
        std::string body;
        std::vector<std::pair<int, int>> table;
    };
    const std::string data(576, '\x0f');
    const Case cases[] = {
        {"two rows between text",
         "A\r" + Row(0) + Row(1) + "B\r\0"s + data,
         "A\r\n" + Img(1) + "B\r\n",
         {{0, 2}}},
        {"rising run", Row(5) + Row(6) + Row(7) + "T\r", Img(1) + "T\r\n", {{5, 3}}},
        {"broken run 5 then 7",
         Row(5) + Row(7) + "T\r",
         Img(1) + Img(2) + "T\r\n",
         {{5, 1}, {7, 1}}},
        {"falling 6 then 5", Row(6) + Row(5) + "T\r", Img(1) + Img(2) + "T\r\n", {{6, 1}, {5, 1}}},
        {"repeat takes the earlier number",
         Row(5) + Row(6) + "T\r" + Row(5) + Row(6) + "U\r",
         Img(1) + "T\r\n" + Img(1) + "U\r\n",
         {{5, 2}}},
        {"longer run is new",
         Row(5) + Row(6) + "T\r" + Row(5) + Row(6) + Row(7) + "U\r",
         Img(1) + "T\r\n" + Img(2) + "U\r\n",
         {{5, 2}, {5, 3}}},
        {"repeat in between",
         Row(1) + "a\r" + Row(2) + "b\r" + Row(1) + "c\r" + Row(3) + "d\r",
         Img(1) + "a\r\n" + Img(2) + "b\r\n" + Img(1) + "c\r\n" + Img(3) + "d\r\n",
         {{1, 1}, {2, 1}, {3, 1}}},
        {"still collected at the end of the file", "T\r" + Row(5) + Row(6), "T\r\n", {}},
        {"byte 0 on the picture line", "T\r\xff\x85\0"s + data, "T\r\n", {}},
        {"byte 0 on a line of its own", "T\r" + Row(5) + "\0"s + data, "T\r\n" + Img(1), {{5, 1}}},
        {"first and last store rows",
         Row(0) + Row(127) + "\r",
         Img(1) + Img(2) + "\r\n",
         {{0, 1}, {127, 1}}},
        {"rows after 127 cannot continue",
         Row(126) + Row(127) + Row(0) + "\r",
         Img(1) + Img(2) + "\r\n",
         {{126, 2}, {0, 1}}},
        {"bytes after the row are ignored",
         "\xff\x83<~>\x01x\r\xff\x84zz\rT\r",
         Img(1) + "T\r\n",
         {{3, 2}}},
        {"second byte below 128 is text", "\xff\x7f\r", "\xff&copy;\r\n", {}},
        {"a line starting with LF is text", "\n\xff\x80\r", "\xff\x80\r\n", {}},
        {"one byte 255 is text", "\xff", "\xff", {}},
    };
    for (const Case& c : cases) {
        const TPictureRun out = Convert(c.document);
        EXPECT_EQ(out.error, "") << c.what;
        EXPECT_EQ(Body(out.page), c.body) << c.what;
        EXPECT_EQ(out.table, c.table) << c.what;
    }
}

TEST(PictureLines, ImageLinesNameBmpFilesWhenChosen) {
    const TPictureRun out = Convert(Row(2) + "T\r" + Row(4) + "\r", true);
    EXPECT_EQ(Body(out.page), Img(1, "bmp") + "T\r\n" + Img(2, "bmp") + "\r\n");
}

TEST(PictureLines, EveryDistinctPictureFitsTheTable) {
    // Every first row with every row count that fits: 8256 distinct pictures, each
    // listed twice; the second listing reuses the first number.
    std::string document;
    for (int pass = 0; pass < 2; ++pass)
        for (int first = 0; first < 128; ++first)
            for (int count = 1; first + count <= 128; ++count) {
                for (int r = first; r < first + count; ++r) document += Row(r);
                document += "\r";
            }
    const TPictureRun out = Convert(document);
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(out.currentPicture, 8257);
    EXPECT_NE(out.page.find(Img(8256)), std::string::npos);
    EXPECT_EQ(out.page.find(Img(8257)), std::string::npos);
}

}  // namespace
}  // namespace quill
