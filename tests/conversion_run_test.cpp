#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "convert/ConversionRun.h"
#include "support/ConvertSupport.h"

namespace quill {
namespace {

using test::Body;
using test::Convert;
using test::ConvertFile;
using test::TempDir;
using test::TSettings;
using std::string_literals::operator""s;

const std::string kDarkHeader17 =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "HTTP-EQUIV=\"Content-Type\" content=\"text/html;charset=cp866\"><style type=\"text/css\">"
    "\r\nbody{background:black}\r\npre{color:#00cccc;font-weight:bold;font-size:17px;"
    "line-height:17px}\r\n.b{color:#0000cc}\r\n.r{color:#cc0000}\r\n.m{color:#cc00cc}\r\n"
    ".g{color:#00cc00}\r\n.c{color:#00cccc}\r\n.y{color:#cccc00}\r\n.w{color:#cccccc}\r\n"
    "</style></head><body><pre>\r\n";
const std::string kFooter = "\r\n</pre></body></html>";

int OpenDescriptors() {
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
    return n;
}

TEST(ConversionRun, WholeRunWritesHeaderBodyAndFooterByteForByte) {
    TempDir dir;
    const auto out = Convert(dir, std::string("Hi\r\x02x\r\0", 7), TSettings{.colors = true});
    ASSERT_EQ(out.error, "");
    EXPECT_TRUE(out.result.Completed);
    EXPECT_EQ(out.result.PageName, dir.File("page.htm"));
    EXPECT_EQ(out.result.PictureFiles, 0);
    EXPECT_EQ(out.page, kDarkHeader17 + "Hi\r\n <span class=r>x</span>\r\n" + kFooter);
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 2);  // the document and its page, no picture file
}

TEST(ConversionRun, HeaderIsSkippedOnlyByTheDocumentsOwnExtension) {
    struct Case {
        const char* folder;
        const char* name;
        bool headerSkipped;
    };
    const Case cases[] = {
        {"mag.old", "obzor.$w", true},
        {"mag", "obzor.$w!", false},
        {"mag.old", "obzor.part1.$w", false},
        {"mag", "obzor", false},
    };
    const std::string header = "HEADER-17-BYTES!!";
    ASSERT_EQ(header.size(), 17u);
    for (const Case& c : cases) {
        TempDir dir;
        std::filesystem::create_directory(dir.Path() / c.folder);
        const std::string input = (dir.Path() / c.folder / c.name).string();
        test::WriteFileBytes(input, test::ToBytes(header + "text\r"));
        const auto out = ConvertFile(input, dir.File("page.htm"));
        ASSERT_EQ(out.error, "") << c.name;
        EXPECT_EQ(out.proposed, "obzor") << c.name;
        EXPECT_EQ(Body(out.page), c.headerSkipped ? "text\r\n" : header + "text\r\n") << c.name;
    }
}

TEST(ConversionRun, HeaderFollowsColoursPitchAndStyle) {
    struct Case {
        TSettings settings;
        const char* background;
        const char* preRule;
        size_t headerSize;
    };
    const Case cases[] = {
        {{.colors = true},
         "body{background:black}",
         "pre{color:#00cccc;font-weight:bold;font-size:17px;line-height:17px}",
         420},
        {{.colors = true, .pitch42 = true},
         "body{background:black}",
         "pre{color:#00cccc;font-weight:bold;font-size:25px;line-height:25px}",
         420},
        {{}, "body{background:white}", "pre{font-size:17px;line-height:17px}", 389},
        {{.pitch42 = true}, "body{background:white}", "pre{font-size:25px;line-height:25px}", 389},
        {{.style = TPageStyle::Quillo},
         "body{background:black}",
         "pre{color:#00cccc;font-size:17px;font-weight:bold;line-height:17px}",
         420},
        {{.colors = true, .pitch42 = true, .style = TPageStyle::Quillo},
         "body{background:black}",
         "pre{color:#00cccc;font-size:25px;font-weight:bold;line-height:25px}",
         420},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto out = Convert(dir, "x", c.settings);
        ASSERT_EQ(out.error, "");
        const std::string header = out.page.substr(0, out.page.size() - 1 - kFooter.size());
        EXPECT_EQ(header.size(), c.headerSize) << c.preRule;
        EXPECT_EQ(header.substr(0, 60), kDarkHeader17.substr(0, 60));
        EXPECT_NE(header.find(std::string("\r\n") + c.background + "\r\n" + c.preRule + "\r\n"),
                  std::string::npos)
            << header;
        // The class rules are there whatever the page colour.
        EXPECT_EQ(header.substr(header.size() - 166),
                  kDarkHeader17.substr(kDarkHeader17.size() - 166));
        EXPECT_EQ(out.page.substr(out.page.size() - 1 - kFooter.size()), "x" + kFooter);
    }
}

TEST(ConversionRun, TextPartEndsAtTheFirstZeroOrTheEndOfTheFile) {
    struct Case {
        std::string document;
        std::string body;
    };
    using std::string_literals::operator""s;
    const Case cases[] = {
        {"ab\r", "ab\r\n"},           // CR as the last byte
        {"ab", "ab"},                 // last line without a terminator
        {"a\rb", "a\r\nb"},           //
        {"a\0rest\r"s, "a"},          // what follows the 0 is picture data
        {"a\rb\0c\rd\r"s, "a\r\nb"},  //
        {"\0"s, ""},                  // the line of the 0 alone writes nothing
        {"a\r\nb\r", "a\r\nb\r\n"},   // LF opens the next line and writes nothing
        {"x\n y\r", "x y\r\n"},       //
        {"\n\n\n", ""},               //
        {"\x03"
         "ab",
         " <span class=m>ab"},  // a span open at the end stays open
        {"\x03"
         "ab\0"s,
         " <span class=m>ab</span>"},  // the 0 closes it, no line break
        {"\r\r", "\r\n\r\n"},          //
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto out = Convert(dir, c.document, TSettings{.colors = true});
        ASSERT_EQ(out.error, "");
        EXPECT_EQ(Body(out.page), c.body) << testing::PrintToString(c.document);
    }
}

TEST(ConversionRun, EmptyTextPartIsAnEndOfFileErrorAndWritesNoPage) {
    struct Case {
        const char* name;
        std::string document;
        std::string reason;
    };
    const std::string header = "it has no text after the 17-byte header";
    const Case cases[] = {
        {"empty", "", "end of file"},
        {"short.$w", "seventeen bytes..", header},
        {"shorter.$w", "five!", header},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto out = Convert(dir, c.document, TSettings{.colors = true}, c.name);
        EXPECT_EQ(out.error, "Cannot read \"" + dir.File(c.name) + "\": " + c.reason);
        EXPECT_FALSE(std::filesystem::exists(dir.File("page.htm"))) << c.name;
    }
}

TEST(ConversionRun, MissingInputKeepsThePageAndNamesTheDocument) {
    TempDir dir;
    test::WriteFileBytes(dir.File("page.htm"), test::ToBytes("a page of an earlier run"));
    ConvertFile(dir.File("missing.$w"), dir.File("page.htm"));  // as below: once before counting
    const int before = OpenDescriptors();
    const auto out = ConvertFile(dir.File("missing.$w"), dir.File("page.htm"));
    EXPECT_EQ(out.error,
              "Cannot open \"" + dir.File("missing.$w") + "\": No such file or directory");
    EXPECT_EQ(out.page, "a page of an earlier run");
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ConversionRun, FailuresNameTheFileAndCloseEverything) {
    TempDir dir;
    test::WriteFileBytes(dir.File("doc"), test::ToBytes("text\r"));
    // A page larger than the write buffer meets the error in the middle of the text.
    std::string big;
    while (big.size() < 3 * TRecordFile::kBufferSize) big += "<text>\x02 in colour\r\n";
    test::WriteFileBytes(dir.File("big"), test::ToBytes(big));
    std::filesystem::create_directory(dir.Path() / "folder");
    struct Case {
        std::string input;
        std::string page;
        std::string error;
    };
    const Case cases[] = {
        // A write error must surface even though the page is written through a buffer.
        {dir.File("doc"), "/dev/full", "Cannot write \"/dev/full\": No space left on device"},
        {dir.File("big"), "/dev/full", "Cannot write \"/dev/full\": No space left on device"},
        {dir.File("doc"), dir.File("none/page.htm"),
         "Cannot create \"" + dir.File("none/page.htm") + "\": No such file or directory"},
        {dir.File("folder"), dir.File("page.htm"),
         "Cannot open \"" + dir.File("folder") + "\": Is a directory"},
    };
    // Once before counting: the first failures of a process may open what stays open
    // after (under Wine, descriptors of its own that it keeps open).
    for (const Case& c : cases) ConvertFile(c.input, c.page);
    const int before = OpenDescriptors();
    for (const Case& c : cases) {
        const auto out = ConvertFile(c.input, c.page);
        EXPECT_EQ(out.error, c.error);
        EXPECT_EQ(OpenDescriptors(), before) << c.page;
    }
}

TEST(ConversionRun, OutputThatIsTheInputIsRefusedBeforeAnythingIsTouched) {
    TempDir dir;
    const std::string input = dir.File("obzor.$w");
    const std::string document = "0123456789abcdefgText\r";
    test::WriteFileBytes(input, test::ToBytes(document));
    std::filesystem::create_hard_link(input, dir.File("hard.htm"));
    std::filesystem::create_directory(dir.Path() / "sub");
#ifdef _WIN32
    // (No links here; one name in another case, and the other separator.)
    const std::string names[] = {input, dir.File("OBZOR.$W"), dir.File("hard.htm"),
                                 dir.File("sub\\..\\obzor.$w"), dir.File("./obzor.$w")};
#else
    std::filesystem::create_symlink(input, dir.File("link.htm"));
    const std::string names[] = {input, dir.File("link.htm"), dir.File("hard.htm"),
                                 dir.File("sub/../obzor.$w"), dir.File("./obzor.$w")};
#endif
    for (const std::string& page : names) {
        const auto out = ConvertFile(input, page);
        EXPECT_FALSE(out.result.Completed);
        EXPECT_EQ(out.error,
                  "Cannot create \"" + page + "\": it is the input document \"" + input + "\"");
        EXPECT_EQ(test::ToString(test::ReadFileBytes(input)), document) << page;
    }
#ifndef _WIN32
    // Linked the other way round: the document is the link.
    const auto out = ConvertFile(dir.File("link.htm"), input);
    EXPECT_NE(out.error, "");
    EXPECT_EQ(test::ToString(test::ReadFileBytes(input)), document);
#endif
}

TEST(ConversionRun, CancellingWritesNothing) {
    for (const bool cancelInput : {true, false}) {
        TempDir dir;
        test::WriteFileBytes(dir.File("doc.$w"), test::ToBytes("x"));
        std::vector<std::string> log;
        test::TLoggingOptions options(log);
        test::TLoggingChooser chooser(log);
        if (!cancelInput) chooser.input = dir.File("doc.$w");
        TConversionRun run(options, chooser);
        const TRunResult result = run.Run();
        EXPECT_FALSE(result.Completed);
        EXPECT_EQ(result.PictureFiles, 0);
        const std::vector<std::string> asked =
            cancelInput ? std::vector<std::string>{"colors", "input"}
                        : std::vector<std::string>{"colors", "input", "output"};
        EXPECT_EQ(log, asked);
        EXPECT_EQ(chooser.proposed, cancelInput ? "" : "doc");
        int files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
            ++files;
        EXPECT_EQ(files, 1);
    }
}

TEST(ConversionRun, OptionsAreReadAtTheirMoments) {
    using std::string_literals::operator""s;
    struct Case {
        TSettings settings;
        std::string document;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        // The picture format is asked when the bitmaps are made, even without pictures.
        {{}, "text\r", {"colors", "input", "output", "pitch", "pitch", "bmp"}},
        {{.style = TPageStyle::Quillo}, "text\r", {"input", "output", "pitch", "pitch", "bmp"}},
        // Then once per image line (none for a run left open at the end), at the bitmaps,
        // and once per picture file (a repeated picture has none).
        {{.colors = true},
         "\xff\x80\r\xff\x80\rA\r\xff\x81\0"s,
         {"colors", "input", "output", "pitch", "pitch", "bmp", "bmp", "bmp", "bmp"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto out = Convert(dir, c.document, c.settings);
        ASSERT_EQ(out.error, "");
        EXPECT_EQ(out.log, c.log);
    }
}

TEST(ConversionRun, OneRunObjectRunsAgainWithFreshState) {
    TempDir dir;
    test::WriteFileBytes(dir.File("a.$w"), test::ToBytes("0123456789abcdefgA\x02\r"));
    test::WriteFileBytes(dir.File("b"), test::ToBytes("\xff\x80\rB"));
    std::vector<std::string> log;
    test::TLoggingOptions options(log);
    test::TLoggingChooser chooser(log);
    TConversionRun run(options, chooser);
    for (int pass = 0; pass < 2; ++pass) {
        chooser.input = dir.File("a.$w");
        chooser.page = dir.File("a.htm");
        ASSERT_TRUE(run.Run().Completed);
        EXPECT_EQ(Body(test::ToString(test::ReadFileBytes(dir.File("a.htm")))),
                  "<B><U>A</U></B> \r\n");
        chooser.input = dir.File("b");
        chooser.page = dir.File("b.htm");
        ASSERT_TRUE(run.Run().Completed);
        EXPECT_EQ(Body(test::ToString(test::ReadFileBytes(dir.File("b.htm")))),
                  "<img src=\"1b.png\" width=\"640\">\r\nB");
    }
}

TEST(ConversionRun, LinesAcrossReadBufferBoundariesKeepEveryByte) {
    // Codes and entities on both sides of each buffer boundary, and line ends next to them.
    const size_t size = 3 * TRecordFile::kReadBufferSize;
    std::string document;
    std::string body;
    for (size_t i = 0; document.size() < size; ++i) {
        const size_t left =
            TRecordFile::kReadBufferSize - document.size() % TRecordFile::kReadBufferSize;
        if (left <= 3 || i % 997 == 0) {
            document += "<\x08~";
            body += "&lt; &tilde;";
        } else if (left == 4) {
            document += "\r";
            body += "\r\n";
        } else {
            document.push_back(static_cast<char>('a' + i % 26));
            body.push_back(static_cast<char>('a' + i % 26));
        }
    }
    document += "\r";
    body += "\r\n";
    TempDir dir;
    const auto out = Convert(dir, document, TSettings{.colors = true});
    ASSERT_EQ(out.error, "");
    EXPECT_TRUE(Body(out.page) == body);
}

std::string Base64(const test::Bytes& bytes) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t{bytes[i]} << 16;
        if (i + 1 < bytes.size()) v |= uint32_t{bytes[i + 1]} << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        for (size_t k = 0; k < 4; ++k)
            out += k <= bytes.size() - i ? digits[v >> (18 - 6 * k) & 63] : '=';
    }
    return out;
}

// The modern head, picture addresses that survive odd names, and embedded pictures that
// are byte for byte the files a run without --embed writes (and no files at all): the
// compact PNG files of the modern page, unless it asks for the classic ones.
TEST(ConversionRun, ModernPageAndEmbeddedPictures) {
    const std::string doc =
        "HEADER-17-BYTES!!A\r\xff\x80\r\xff\x81\rB\r"s + '\0' + std::string(576, '\x47');
    const std::string head =
        "<!DOCTYPE html>\r\n<html lang=\"en\"><head><meta charset=\"utf-8\">\r\n<meta "
        "name=\"viewport\" "
        "content=\"width=device-width, initial-scale=1\">\r\n<title>a&amp;b #1</title>\r\n"
        "<style>\r\nimg{max-width:100%;height:auto}\r\npre{overflow-x:auto}\r\n"
        "body{background:black}\r\npre{color:#00cccc;font-weight:bold;font-size:17px;"
        "line-height:17px}\r\n";
    for (const bool bmp : {false, true}) {
        TempDir dir;
        const std::string ext = bmp ? "bmp" : "png";
        TSettings s{
            .colors = true, .bmp = bmp, .run = {.Html5 = true, .Scale = 2, .SkipHeader = true}};
        const auto files = Convert(dir, doc, s, "a&b #1");
        ASSERT_EQ(files.error, "");
        EXPECT_EQ(files.page.substr(0, head.size()), head);
        const std::string image =
            "\" alt=\"picture 1\" width=\"512\" style=\"image-rendering: "
            "pixelated\">\r\n";
        EXPECT_EQ(Body(files.page), "A\r\n<img src=\"1a%26b%20%231." + ext + image + "B\r\n");
        const test::Bytes picture = test::ReadFileBytes(dir.File("1a&b #1." + ext));
        std::filesystem::remove(dir.File("1a&b #1." + ext));

        s.run.Embed = true;
        s.run.NoPictureFiles = true;  // allowed: nothing but the page is written
        const auto embedded = Convert(dir, doc, s, "a&b #1");
        ASSERT_EQ(embedded.error, "");
        EXPECT_EQ(embedded.result.PictureFiles, 1);
        EXPECT_EQ(Body(embedded.page), "A\r\n<img src=\"data:image/" + ext + ";base64," +
                                           Base64(picture) + image + "B\r\n");
        EXPECT_FALSE(std::filesystem::exists(dir.File("1a&b #1." + ext)));
        // The classic page embeds its own pictures the same way and keeps its own image line;
        // --classic-pictures gives the modern page those pictures.
        s.run = {.Scale = 2, .SkipHeader = true};
        ASSERT_EQ(Convert(dir, doc, s, "a&b #1").error, "");
        const test::Bytes classicPicture = test::ReadFileBytes(dir.File("1a&b #1." + ext));
        EXPECT_EQ(classicPicture == picture, bmp);
        std::filesystem::remove(dir.File("1a&b #1." + ext));
        s.run.Embed = s.run.NoPictureFiles = true;
        const auto classic = Convert(dir, doc, s, "a&b #1");
        EXPECT_EQ(Body(classic.page), "A\r\n<img src=\"data:image/" + ext + ";base64," +
                                          Base64(classicPicture) + "\" width=\"640\">\r\nB\r\n");
        s.run.Html5 = s.run.ClassicPictures = true;
        const auto kept = Convert(dir, doc, s, "a&b #1");
        EXPECT_EQ(Body(kept.page), "A\r\n<img src=\"data:image/" + ext + ";base64," +
                                       Base64(classicPicture) + image + "B\r\n");
        int entries = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
            ++entries;
        EXPECT_EQ(entries, 2);  // the document and the page: no draft left behind
    }
}

// The modern page's language: by its text (not its picture lines or picture data) when
// none is asked for, also when the first letter comes long after the start.
TEST(ConversionRun, ModernPageLanguage) {
    const std::string far(200000, 'a');  // past the first read buffer
    struct Case {
        std::string document;
        std::string want;
        std::string lang = "";  // asked for
        bool embed = false;
    };
    const Case cases[] = {
        {"Hello\r", "en"},
        {"\xb0\xc4\xdb \xfc\r", "en"},  // box drawing and the numero sign are no letters
        {"\x8f\xe0\xa8\xa2\xa5\xe2\r", "ru"},
        {"x\r\xff\x80\xa0\xa0\r"s + '\0' + "\xa0\xa0", "en"},
        {far + "\r\xe0\r", "ru"},
        {far + "\r\xe0\r", "ru", "", true},
        {far + "\r\xff\x80\r\xf1\r", "ru"},  // the line after a picture
        {"\x8f\xe0\r", "uk", "uk"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        TSettings s{
            .colors = true,
            .run = {.Html5 = true, .Embed = c.embed, .Lang = language::TLanguageTag(c.lang)}};
        const auto out = Convert(dir, c.document, s);
        ASSERT_EQ(out.error, "");
        const std::string head = "<!DOCTYPE html>\r\n<html lang=\"" + c.want + "\"><head>";
        EXPECT_EQ(out.page.substr(0, head.size()), head) << c.want << " " << c.document.size();
    }
}

TEST(ConversionRun, PictureFilesThatCannotBeWrittenStopTheRunAtTheFirstPicture) {
    TempDir dir;
    const auto out =
        Convert(dir, "A\r\xff\x80\rB\r", {.run = {.Html5 = true, .NoPictureFiles = true}});
    EXPECT_EQ(out.error, "Cannot write the pictures of \"" + dir.File("doc") +
                             "\": a page on standard output can only hold them embedded");
    EXPECT_FALSE(std::filesystem::exists(dir.File("1doc.png")));
}

}  // namespace
}  // namespace quill
