#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "convert/MarkupNames.h"
#include "convert/PageFace.h"
#include "support/SampleArchive.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using test::TempDir;
using std::string_literals::operator""s;

struct TToolRun {
    int status = -1;
    std::string out;
    std::string err;      // without the summary line
    std::string summary;  // "3 documents, 1 failed, 2 pictures, 0 s", or ""
};

// Runs the command-line converter in dir with the arguments as given (shell words).
TToolRun Tool(const TempDir& dir, const std::string& args) {
    const std::string command = "cd '" + dir.Path().string() + "' && " +
                                test::ToolCommand("vornik2html") + " " + args +
                                " > .stdout 2> .stderr";
    const int raw = test::RunTool(command, dir.File(".stdout"), dir.File(".stderr"));
    TToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = test::ToString(test::ReadFileBytes(dir.File(".stdout")));
    r.err = test::ToString(test::ReadFileBytes(dir.File(".stderr")));
    const size_t last = r.err.rfind('\n', r.err.size() < 2 ? 0 : r.err.size() - 2);
    const size_t from = last == std::string::npos || r.err.size() < 2 ? 0 : last + 1;
    if (std::regex_match(
            r.err.substr(from),
            std::regex("([0-9,]+ (documents?|converted), .* s|nothing to do: .*)\n"))) {
        r.summary = r.err.substr(from, r.err.size() - from - 1);
        r.err.resize(from);
    }
    return r;
}

std::string Page(const TempDir& dir, const std::string& name) {
    return test::ToString(test::ReadFileBytes(dir.File(name)));
}

// Names of the hidden temporary files in a folder.
std::vector<std::string> Temporaries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = e.path().filename().string();
        if (name.size() > 4 && name[0] == '.' && name.substr(name.size() - 4) == ".tmp")
            names.push_back(name);
    }
    return names;
}

// A document name whose page name is one byte past the name limit (255 bytes).
const std::string kTooLong(252, 'n');

TEST(Vornik2Html, ExitStatusAndMessages) {
    struct Case {
        std::string args;
        int status;
        std::string err;  // stderr, exactly ("*" prefix: only its first line)
    };
    const Case cases[] = {
        {"a.txt", 0, "a.txt -> a.htm (0 pictures)\n"},
        {"-q a.txt", 0, ""},
        {"-j 1 u.txt lf.txt", 0,
         "vornik2html: u.txt: looks like a UTF-8 text file, not a Vornik document; converted "
         "anyway\n"
         "u.txt -> u.htm (0 pictures)\n"
         "vornik2html: lf.txt: looks like a text file with LF line ends, not a Vornik "
         "document; converted anyway\n"
         "lf.txt -> lf.htm (0 pictures)\n"},
        {"-q u.txt", 0, ""},
        {"-o out/p.htm a.txt", 0, "a.txt -> out/p.htm (0 pictures)\n"},
        {"-d out a.txt", 0, "a.txt -> out/a.htm (0 pictures)\n"},
        {"-d out/ -q a.txt", 0, ""},
        {"'missing.$w'", 1,
         "vornik2html: missing.$w: Cannot open \"missing.$w\": No such file or directory\n"},
        {"-q empty a.txt", 1, "vornik2html: empty: Cannot read \"empty\": end of file\n"},
        {"-o a.txt a.txt", 1,
         "vornik2html: a.txt: Cannot create \"a.txt\": it is the input document \"a.txt\"\n"},
        {"-d nowhere a.txt", 0, "a.txt -> nowhere/a.htm (0 pictures)\n"},
        {"", 2, "*vornik2html: no INPUT given"},
        {"--frobnicate a.txt", 2, "*vornik2html: unknown option --frobnicate"},
        {"-o x.htm a.txt b.txt", 2, "*vornik2html: -o takes one INPUT only"},
        {"-o x.htm -d out a.txt", 2, "*vornik2html: -o and -d exclude each other"},
        {"-j 0 a.txt", 2, "*vornik2html: -j needs a number from 1 to 1024, not \"0\""},
        {"-j a.txt", 2, "*vornik2html: -j needs a number from 1 to 1024, not \"a.txt\""},
        {"--style quill a.txt", 2, "*vornik2html: unknown style \"quill\""},
        {"a.txt -d", 2, "*vornik2html: -d needs a folder"},
        {"-o x -o y a.txt", 2, "*vornik2html: -o given twice"},
        {"--scale 3 a.txt", 2, "*vornik2html: --scale needs --html5"},
        {"--html5 --scale 9 a.txt", 2,
         "*vornik2html: --scale needs a number from 1 to 8, not \"9\""},
        {"--lang ru a.txt", 2, "*vornik2html: --lang needs --html5"},
        {"--html5 --lang 'ru\"x' a.txt", 2,
         "*vornik2html: --lang needs a language such as ru, en or sr-Latn, not \"ru\"x\""},
        {"- a.txt -", 2, "*vornik2html: standard input (-) given twice"},
        {"-d out - < a.txt", 0, "- -> out/stdin.htm (0 pictures)\n"},
        {"-o - - < a.txt", 0, "- -> - (0 pictures)\n"},
        {"--shard 3/2 a.txt", 2, "*vornik2html: --shard needs K/N, 1 <= K <= N, not \"3/2\""},
        {"--index -d nowhere", 1,
         "vornik2html: nowhere: Cannot read the folder: No such file or directory\n"},
        {"--index a.txt", 2, "*vornik2html: --index takes -d DIR only, no INPUT"},
        {"--index --html5 -d out", 2,
         "*vornik2html: --index takes -d DIR, -q, --search and --name-encoding only, not "
         "--html5"},
        {"--index --thumbnails -d out", 2,
         "*vornik2html: --index takes -d DIR, -q, --search and --name-encoding only, not "
         "--thumbnails"},
        {"--thumbnails a.txt", 2,
         "*vornik2html: --thumbnails needs a folder INPUT (an archive), written with -d DIR"},
        {"--search -d out a.txt", 2,
         "*vornik2html: --search needs a folder INPUT (an archive), written with -d DIR"},
        {"-o x.htm out", 2,
         "*vornik2html: -o writes one page, and \"out\" is a folder: an archive needs -d DIR"},
        {"--retry-failed a.txt", 2, "*vornik2html: --retry-failed needs --update"},
        {"-d new/sub a.txt", 0, "a.txt -> new/sub/a.htm (0 pictures)\n"},
        // One pattern for each --match; the lines in the order of the documents.
        {"-q -d site --match 'a.*' .", 0, ""},
        {"-j 4 big.txt u.txt empty a.txt lf.txt", 1,
         "big.txt -> big.htm (0 pictures)\n"
         "vornik2html: u.txt: looks like a UTF-8 text file, not a Vornik document; converted "
         "anyway\n"
         "u.txt -> u.htm (0 pictures)\n"
         "vornik2html: empty: Cannot read \"empty\": end of file\n"
         "a.txt -> a.htm (0 pictures)\n"
         "vornik2html: lf.txt: looks like a text file with LF line ends, not a Vornik "
         "document; converted anyway\n"
         "lf.txt -> lf.htm (0 pictures)\n"},
        {"--name-encoding koi8-r a.txt", 0, "a.txt -> a.htm (0 pictures)\n"},
        {"--name-encoding utf-16 a.txt", 2,
         "*vornik2html: --name-encoding needs a single-byte code page such as cp866, cp437 or "
         "koi8-r, or utf-8, not \"utf-16\""},
        // A page name past the name limit: nothing is written.
        {"-q '" + kTooLong + ".$w'", 1,
         "vornik2html: " + kTooLong + ".$w: Cannot create \"" + kTooLong +
             ".htm\": File name too long\n"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // Where Windows differs: its separator, a drive letter, a name through the wide command
    // line, a read-only page that stays, names it does not allow and nothing written.
    const std::string forbidden =
        "the system does not allow this file name (a device's name, or a character such as : "
        "* ? \" < > |)\n";
    if (test::WindowsTools())
        all.insert(
            all.end(),
            {
                {"-o 'out\\p.htm' a.txt", 0, "a.txt -> out\\p.htm (0 pictures)\n"},
                {"-o Z:out/p.htm a.txt", 0, "a.txt -> Z:out/p.htm (0 pictures)\n"},
                {"-o 'обзор.htm' a.txt", 0, "a.txt -> обзор.htm (0 pictures)\n"},
                {"-o ro.htm a.txt", 1,
                 "vornik2html: a.txt: Cannot create \"ro.htm\": Permission denied\n"},
                {"-o con.htm a.txt", 1,
                 "vornik2html: a.txt: Cannot create \"con.htm\": " + forbidden},
                {"-o 'a:b' a.txt", 1, "vornik2html: a.txt: Cannot create \"a:b\": " + forbidden},
                {"-d 'x?' a.txt", 1, "vornik2html: x?: Cannot create the folder: " + forbidden},
            });
    for (const Case& c : all) {
        TempDir dir;
        std::filesystem::create_directory(dir.Path() / "out");
        test::WriteFileBytes(dir.File("a.txt"), test::ToBytes("a\r"));
        test::WriteFileBytes(dir.File("empty"), {});
        test::WriteFileBytes(dir.File("u.txt"), test::ToBytes("gr\xc3\xbc\xc3\x9f\r"));
        test::WriteFileBytes(dir.File("lf.txt"), test::ToBytes("one\ntwo\n"));
        // Ends well after the small ones that follow it.
        std::string big;
        for (int i = 0; i < 100000 && c.args.find("big.txt") != std::string::npos; ++i)
            big += "\x02line\x01 of a long document\r";
        test::WriteFileBytes(dir.File("big.txt"), test::ToBytes(big));
        test::WriteFileBytes(dir.File(kTooLong + ".$w"), test::ToBytes("a\r"));
        test::WriteFileBytes(dir.File("ro.htm"), test::ToBytes("kept"));
        std::filesystem::permissions(dir.File("ro.htm"), std::filesystem::perms::owner_read);
        const TToolRun r = Tool(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        if (!c.err.empty() && c.err[0] == '*')
            EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.err.substr(1)) << c.args;
        else
            EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(test::ToString(test::ReadFileBytes(dir.File("a.txt"))), "a\r") << c.args;
        EXPECT_TRUE(Temporaries(dir).empty()) << c.args;
        if (&c - all.data() >= static_cast<std::ptrdiff_t>(std::size(cases))) {
            EXPECT_EQ(Page(dir, "ro.htm"), "kept") << c.args;
            // A failure writes nothing else: no stream of "a", no temporary file left.
            const auto entries = std::distance(std::filesystem::directory_iterator(dir.Path()),
                                               std::filesystem::directory_iterator());
            EXPECT_TRUE(c.status == 0 || entries == 10) << c.args << ": " << entries;
        }
    }
}

TEST(Vornik2Html, HelpAndVersion) {
    TempDir dir;
    const TToolRun help = Tool(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: vornik2html", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--pitch42"), std::string::npos);
    const TToolRun version = Tool(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vornik2html ", 0), 0u) << version.out;
}

TEST(Vornik2Html, OptionsReachThePage) {
    TempDir dir;
    struct Case {
        std::string args;
        std::vector<std::string> contains;
        std::string name = "doc";  // the document is NAME.$w
    };
    const Case cases[] = {
        {"", {"background:white", "font-size:17px", "<B><U>x</U></B>"}},
        {"--colors --pitch42", {"background:black", "font-size:25px", "<span class=r>x</span>"}},
        {"--style quillo", {"font-size:17px;font-weight:bold", "<span class=r>x</span>"}},
        {"--html5 --style quillo --pitch42",
         {"<!DOCTYPE html>\r\n<html lang=\"en\">", "<title>doc.$w</title>",
          "font-size:25px;font-weight:bold", "<span class=r>x</span>"}},
        // An encoded surrogate and a lone continuation byte: U+FFFD for each byte of them,
        // as a browser decodes them.
        {"--html5 --name-encoding utf-8",
         {"<title>u\uFFFD\uFFFD\uFFFD\uFFFD.$w</title>"},
         "u\xed\xa0\x80\x80"},
        // A name from DOS: its cp866 bytes decoded, unless asked otherwise.
        {"--html5", {"<title>Обзор.$w</title>"}, "\x8e\xa1\xa7\xae\xe0"},
        {"--html5 --name-encoding koi8-r", {"<title>Оюъ.$w</title>"}, "\xef\xc0\xdf"},
        // A legal name of 248 bytes, whose page is 249: its temporary name is shortened.
        {"", {"<B><U>x</U></B>"}, std::string(245, 'n')},
        {"--html5 --lang sr-Latn", {"<html lang=\"sr-Latn\">"}},
    };
    for (const Case& c : cases) {
        // A name that is no UTF-8 cannot be a file's on Windows.
        if (test::WindowsTools() && c.name != "doc") continue;
        test::WriteFileBytes(dir.File(c.name + ".$w"), test::ToBytes("0123456789abcdefg\x02x\r"));
        const TToolRun r = Tool(dir, c.args + " -q '" + c.name + ".$w'");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string page = Page(dir, c.name + ".htm");
        for (const std::string& piece : c.contains)
            EXPECT_NE(page.find(piece), std::string::npos) << c.args << ": " << piece;
        EXPECT_EQ(page.find("0123456789"), std::string::npos);
    }
}

TEST(Vornik2Html, ManyInputsInParallelAndOneOwnerPerPage) {
    TempDir dir;
    std::string args = "-j 3 -d out";
    for (int i = 0; i < 12; ++i) {
        const std::string name = "doc" + std::to_string(i) + ".txt";
        test::WriteFileBytes(dir.File(name), test::ToBytes("text " + std::to_string(i) + "\r"));
        args += " " + name;
    }
    // Same page from another folder and another extension: the later INPUT fails.
    std::filesystem::create_directories(dir.Path() / "other" / "x.y");
    test::WriteFileBytes(dir.File("other/x.y/doc3.$w"), test::ToBytes("not this one\r"));
    args += " 'other/x.y/doc3.$w' missing.txt";
    std::filesystem::create_directory(dir.Path() / "out");
    const TToolRun r = Tool(dir, args);
    EXPECT_EQ(r.status, 1);
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_NE(Page(dir, "out/doc" + n + ".htm").find("<pre>\r\ntext " + n + "\r\n\r\n</pre>"),
                  std::string::npos);
        EXPECT_NE(r.err.find("doc" + n + ".txt -> out/doc" + n + ".htm (0 pictures)\n"),
                  std::string::npos);
    }
    EXPECT_NE(r.err.find("vornik2html: other/x.y/doc3.$w: page \"out/doc3.htm\" is already "
                         "written by \"doc3.txt\" in this call\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("vornik2html: missing.txt: Cannot open"), std::string::npos);
    size_t lines = 0;
    for (char ch : r.err) lines += ch == '\n';
    EXPECT_EQ(lines, 14u);
}

TEST(Vornik2Html, APageOrPictureThatIsAnotherInputOfTheCallIsRefused) {
    // Another spelling, a hard link, a name not yet a file: in each, writing the first
    // INPUT's page would destroy the second INPUT before (or while) it is read. Likewise
    // the picture 1g.png of g.txt, an INPUT before it, and 1h.png of h.txt, an INPUT after
    // it through a link to the folder.
    TempDir dir;
    for (const char* name : {"c.txt", "d.txt", "e.txt", "f.txt"})
        test::WriteFileBytes(dir.File(name), test::ToBytes(std::string(name) + "\r"));
    for (const char* name : {"g.txt", "h.txt"})
        test::WriteFileBytes(dir.File(name),
                             test::ToBytes("\xff\x80\r"s + '\0' + std::string(288, 'p')));
    for (const char* name : {"1g.png", "1h.png"})
        test::WriteFileBytes(dir.File(name), test::ToBytes(name));
    std::filesystem::create_directory_symlink(".", dir.File("alias"));
    test::WriteFileBytes(dir.File("c.htm"), test::ToBytes("document c\r"));
    test::WriteFileBytes(dir.File("d.htm"), test::ToBytes("document d\r"));
    std::filesystem::create_hard_link(dir.File("d.htm"), dir.File("d.lnk"));
    const TToolRun r = Tool(
        dir, "-q -j 1 c.txt ./c.htm d.txt d.lnk e.txt e.htm f.txt 1g.png g.txt h.txt alias/1h.png");
    EXPECT_EQ(r.status, 1);
    for (const std::string line : {
             "vornik2html: c.txt: Cannot create \"c.htm\": it is the input document \"./c.htm\" "
             "of this call\n",
             "vornik2html: d.txt: Cannot create \"d.htm\": it is the input document \"d.lnk\" of "
             "this call\n",
             "vornik2html: e.txt: Cannot create \"e.htm\": it is the input document \"e.htm\" of "
             "this call\n",
             // Refused above, so never written: there is nothing to read.
             "vornik2html: e.htm: Cannot open \"e.htm\": No such file or directory\n",
             "vornik2html: g.txt: Cannot write \"1g.png\": it is the input document \"1g.png\" of "
             "this call\n",
             "vornik2html: h.txt: Cannot write \"1h.png\": it is the input document "
             "\"alias/1h.png\" of this call\n",
         })
        EXPECT_NE(r.err.find(line), std::string::npos) << line << r.err;
    EXPECT_EQ(Page(dir, "c.htm"), "document c\r");
    EXPECT_EQ(Page(dir, "d.htm"), "document d\r");
    EXPECT_FALSE(std::filesystem::exists(dir.File("e.htm")));
    EXPECT_NE(Page(dir, "f.htm").find("<pre>\r\nf.txt\r\n"), std::string::npos);
    for (const char* name : {"1g.png", "1h.png"}) EXPECT_EQ(Page(dir, name), name);
    EXPECT_FALSE(std::filesystem::exists(dir.File("g.htm")) ||
                 std::filesystem::exists(dir.File("h.htm")));
}

TEST(Vornik2Html, ReportsPictureFilesWrittenBesideThePage) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "out" / "pages");
    std::string doc = "\xff\x80\rtext\r\xff\x81\r\xff\x80\r\x30\r";
    doc += std::string(1, '\0') + std::string(2 * 288, '\x47');
    test::WriteFileBytes(dir.File("obzor.$w!"), test::ToBytes(doc));
    struct Case {
        std::string args, ext;
        bool classic;  // the PNG files are those of the classic page
    };
    const Case cases[] = {{"", ".png", true},
                          {"--bmp", ".bmp", false},
                          {"--html5", ".png", false},
                          {"--html5 --classic-pictures", ".png", true}};
    std::string classic;  // picture 1 of the classic page
    for (const Case& c : cases) {
        const TToolRun r = Tool(dir, c.args + " -o out/pages/p.htm 'obzor.$w!'");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "obzor.$w! -> out/pages/p.htm (2 pictures)\n");
        EXPECT_EQ(r.summary.substr(0, 24), "1 document, 2 pictures, ");
        for (const char* n : {"1", "2"})
            EXPECT_TRUE(std::filesystem::is_regular_file(
                dir.File("out/pages/" + std::string(n) + "obzor" + c.ext)));
        EXPECT_FALSE(std::filesystem::exists(dir.File("1obzor" + c.ext)));
        if (c.ext == ".bmp") continue;
        const std::string picture = Page(dir, "out/pages/1obzor.png");
        if (classic.empty()) classic = picture;
        EXPECT_EQ(picture == classic, c.classic) << c.args;
    }
}

// A document 2,100 folders down, a path of 4,210 bytes (past the system's 4,096, so the
// tree is made here through folder descriptors, as no shell could): it converts, and its
// page and picture go in place in an output folder as deep, nothing half-written beside.
TEST(Vornik2Html, ADocumentDeeperThanThePathLimitConverts) {
    if (test::WindowsTools()) GTEST_SKIP() << "Wine reaches no path past Linux's limit";
    constexpr int kDepth = 2100;
    TempDir dir;
    std::filesystem::create_directory(dir.File("arc"));
    int at = ::open(dir.File("arc").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < kDepth && at >= 0; ++i) {
        ASSERT_EQ(::mkdirat(at, "d", 0755), 0);
        const int below = ::openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = below;
    }
    ASSERT_GE(at, 0);
    const std::string document =
        std::string(17, 'h') + "deep\r\xff\x80\r"s + '\0' + std::string(288, '\x47');
    const int file = ::openat(at, "doc.$w", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(file, document.data(), document.size()),
              static_cast<ssize_t>(document.size()));
    ::close(file);
    ::close(at);

    const TToolRun r = Tool(dir, "-d out arc");
    EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() - std::min<size_t>(r.err.size(), 300));
    EXPECT_TRUE(r.err.ends_with("/d/doc.htm (1 picture)\n"));
    EXPECT_EQ(r.summary.substr(0, 23), "1 document, 1 picture, ");
    at = ::open(dir.File("out").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < kDepth && at >= 0; ++i) {
        const int below = ::openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = below;
    }
    ASSERT_GE(at, 0);
    DIR* folder = ::fdopendir(at);
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(folder))
        if (e->d_name != "."s && e->d_name != ".."s) names.push_back(e->d_name);
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{".vornik2html", "1doc.png", "doc.htm", "index.htm"}));
}

TEST(Vornik2Html, NoDocumentOfACallOverwritesAnotherOnesPictures) {
    // Picture 11 of a.txt and picture 1 of 1a.txt are both 11a.png: the later document
    // in the call fails, whatever the number of workers, and the earlier one is whole.
    // Standard input names its pictures after "stdin".
    std::string a;
    for (int r = 0; r < 11; ++r) a.append({'\xff', static_cast<char>(128 + r), '\r', 'x', '\r'});
    a += std::string(1, '\0') + std::string(11 * 288, '\x5a');
    const std::string one = "\xff\x80\r" + std::string(1, '\0') + std::string(288, '\x0f');
    struct Case {
        const char *first, *later, *args, *base, *owner;
    };
    for (const Case& c : {Case{"a.txt", "1a.txt", "a.txt 1a.txt", "a", "a.txt"},
                          Case{"in.txt", "1stdin.txt", "- 1stdin.txt < in.txt", "stdin", "-"}}) {
        const std::string base = c.base, picture = "11" + base + ".png";
        TempDir alone;
        test::WriteFileBytes(alone.File(c.first), test::ToBytes(a));
        ASSERT_EQ(
            Tool(alone, std::string("-q ") + (c.owner[0] == '-' ? "- < in.txt" : c.first)).status,
            0);
        for (const char* jobs : {"1", "4"}) {
            TempDir dir;
            test::WriteFileBytes(dir.File(c.first), test::ToBytes(a));
            test::WriteFileBytes(dir.File(c.later), test::ToBytes(one));
            const TToolRun r = Tool(dir, std::string("-q -j ") + jobs + " " + c.args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, std::string("vornik2html: ") + c.later + ": Cannot write \"" +
                                 picture + "\": \"" + c.owner + "\" of this call writes it\n");
            EXPECT_EQ(test::ReadFileBytes(dir.File(picture)),
                      test::ReadFileBytes(alone.File(picture)));
            EXPECT_EQ(Page(dir, base + ".htm"), Page(alone, base + ".htm"));
            EXPECT_FALSE(std::filesystem::exists(dir.File("1" + base + ".htm")));
            EXPECT_TRUE(Temporaries(dir).empty());
        }
    }
}

TEST(Vornik2Html, AnInterruptRemovesTheFilesInProgressAndKeepsTheFinishedOnes) {
    // Windows has Ctrl-C of these, which Wine hands on as SIGINT.
    const bool windows = test::WindowsTools();
    const std::string tool = windows ? std::getenv("QUILL_WINDOWS_TOOLS") + "/vornik2html.exe"s
                                     : std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (windows && signal != SIGINT) continue;
        TempDir dir;
        // An archive's document, then one that never ends: a pipe this test keeps open and
        // writes one line to.
        std::filesystem::create_directory(dir.Path() / "arc");
        test::WriteFileBytes(dir.File("arc/done.$w"),
                             test::ToBytes(std::string(17, 'h') + "done\r"));
        ASSERT_EQ(::mkfifo(dir.File("pipe.txt").c_str(), 0600), 0);
        const int writer = ::open(dir.File("pipe.txt").c_str(), O_RDWR);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, "text\r", 5), 5);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, dir.File(".stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string done = dir.File("arc"), pipe = dir.File("pipe.txt");
        const std::string folder = dir.Path().string();
        std::vector<const char*> args = {tool.c_str(),   "-j",         "1",         "-d",
                                         folder.c_str(), done.c_str(), pipe.c_str()};
        if (windows) args.insert(args.begin(), "wine");
        std::vector<char*> argv;
        for (const char* a : args) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        // As from a terminal, whatever this test inherited.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        // The second document's page is under way once the first one's page is in place
        // and then a temporary file exists (before, the temporary file may be the first's:
        // looked at first, it may be gone by the time the page is there).
        for (int i = 0; i < 500 && (!std::filesystem::exists(dir.File("done.htm")) ||
                                    Temporaries(dir).empty());
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Temporaries(dir).size(), 1u);
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ::close(writer);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_NE(Page(dir, "done.htm").find("done\r\n\r\n</pre></body></html>"),
                  std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir.File("pipe.htm")));
        // A file removed while open goes when its last handle closes; Wine closes a
        // program's handles a moment after its process has gone.
        for (int i = 0; windows && i < 300 && !Temporaries(dir).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Temporaries(dir), std::vector<std::string>{});
        // The index pages are written for what finished, from its record.
        EXPECT_NE(Page(dir, "index.htm").find("<a href=\"done.htm\">done.$w</a>"),
                  std::string::npos);
    }
}

// Standard input and output: the page on standard output is the page a file would get
// (but for its title), its pictures only embedded; a run that fails writes nothing there.
TEST(Vornik2Html, PipesWithEmbeddedPictures) {
    TempDir dir;
    std::string doc = "A\r\xff\x80\r\xff\x81\rB\r"s + '\0' + std::string(576, '\x47');
    test::WriteFileBytes(dir.File("d.txt"), test::ToBytes(doc));
    test::WriteFileBytes(dir.File("h.txt"), test::ToBytes("0123456789abcdefg" + doc));
    ASSERT_EQ(Tool(dir, "-q --html5 --embed -o page.htm d.txt").status, 0);
    std::string page = Page(dir, "page.htm");
    page.replace(page.find("<title>d.txt<"), 12, "<title>stdin");
    for (const std::string args : {"- < d.txt", "--skip-header - < h.txt"}) {
        const TToolRun r = Tool(dir, "-q --html5 --embed -o - " + args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out == page) << args;
    }
    const TToolRun refused = Tool(dir, "-q --html5 -o - - < d.txt");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "vornik2html: -: Cannot write the pictures of \"stdin\": a page on "
              "standard output can only hold them embedded\n");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 5u);  // the two documents, the page, .stdout and .stderr
}

// An archive: documents (their 17-byte header skipped) in nested folders, one with a dot
// in its name, a link to a document and one to a folder, a file that is not a document,
// two documents of one page, and names that links must escape or that are not UTF-8 (a
// folder and a document named in cp866, as unzip leaves an archive made on DOS).
const std::string kObzor = "\x8e\xa1\xa7\xae\xe0";  // "Обзор" in cp866

void MakeArchive(const TempDir& dir) {
    const std::string picture = "\xff\x80\rtext\r\xff\x81\r\xff\x80\r" + std::string(1, '\0') +
                                std::string(288, '\x47') + std::string(288, '\x0e');
    const std::pair<std::string, std::string> documents[] = {
        {"arc/a.$w", "first a\r"},
        {"arc/a.$1", "second a\r"},
        {"arc/b.txt", "none\r"},
        {"arc/sub/p10.$w", picture},
        {"arc/sub/p2.$w", "p2\r"},
        {"arc/x.y/z.$w", "z\r"},
        {"arc/x.y/d/e.$w", picture},
        {"arc/sub/3.$w", "three\r"},
        {"arc/o #?\"<%41/p #?\"<%41.$w", "odd\r"},
        {"arc/o #?\"<%41/u\xed\xa0\x80\x80.$w", "u\r"},
        {"arc/" + kObzor + "/" + kObzor + ".$w", "dos\r"},
    };
    for (const auto& [name, body] : documents) {
        // (Names Windows does not allow, or that are no UTF-8, stay out of the Windows
        // program's archive.)
        if (test::WindowsTools() &&
            (name.find('?') != std::string::npos || name.find(kObzor) != std::string::npos))
            continue;
        std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
        test::WriteFileBytes(dir.File(name), test::ToBytes(std::string(17, 'h') + body));
    }
    std::filesystem::create_symlink("../a.$w", dir.File("arc/sub/link.$w"));
    std::filesystem::create_symlink("..", dir.File("arc/sub/up"));
}

// Every file below root by its path, hidden ones (records) left out, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = std::filesystem::relative(e.path(), root).string();
        if (e.is_regular_file() && path[0] != '.' && path.find("/.") == std::string::npos)
            files[path] = test::ToString(test::ReadFileBytes(e.path().string()));
    }
    return files;
}

// The Windows program writes what the Linux program writes, byte for byte: pages,
// pictures and index pages, of both page kinds and both picture formats, and the same
// record files.
TEST(Vornik2Html, TheWindowsProgramWritesWhatTheLinuxProgramWrites) {
    if (!test::WindowsTools()) GTEST_SKIP() << "for the Windows build (make test-windows)";
    TempDir dir;
    test::WriteSampleArchive(dir.Path());
    const auto files = [&](const std::string& site) {
        std::map<std::string, std::string> all;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.File(site)))
            if (e.is_regular_file())
                all[e.path().string()] = test::ToString(test::ReadFileBytes(e.path().string()));
        return all;
    };
    const std::string linux = "'"s + QUILL_BINARY_DIR + "/tools/vornik2html'";
    for (const char* options : {"", "--colors --bmp", "--html5", "--html5 --bmp --pitch42",
                                "--html5 --classic-pictures"}) {
        const std::string args = std::string(" -q ") + options + " -d ";
        const std::string in = "cd '" + dir.Path().string() + "' && ";
        ASSERT_EQ(std::system((in + linux + args + "linux archive").c_str()), 0) << options;
        ASSERT_EQ(Tool(dir, args + "windows archive").status, 0) << options;
        std::map<std::string, std::string> a = files("linux"), b = files("windows");
        ASSERT_EQ(a.size(), b.size()) << options;
        for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
            EXPECT_EQ(i->first.substr(dir.File("linux").size()),
                      j->first.substr(dir.File("windows").size()));
            // A record holds the archive's path and the document's time as each system
            // gives them (Windows counts 100 ns): the same records, not the same bytes.
            if (i->first.find("/.vornik2html/") == std::string::npos) {
                EXPECT_TRUE(i->second == j->second) << options << ": " << i->first;
            }
        }
        EXPECT_GT(a.size(), 10u);
        std::filesystem::remove_all(dir.File("linux"));
        std::filesystem::remove_all(dir.File("windows"));
    }
}

TEST(Vornik2Html, AnArchiveBecomesASiteAlikeForAnyNumberOfWorkers) {
    TempDir dir;
    MakeArchive(dir);
    // The site inside the archive: never taken as input.
    const TToolRun r = Tool(dir, "-j 4 -d arc/site arc");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("vornik2html: arc/a.$w: page \"arc/site/a.htm\" is already written by "
                         "\"arc/a.$1\" in this call\n"),
              r.err.find("vornik2html:"))
        << r.err;
    const bool windows = test::WindowsTools();
    const std::string summary =
        windows ? "8 documents, 1 failed, 4 pictures, " : "11 documents, 1 failed, 4 pictures, ";
    EXPECT_EQ(r.summary.substr(0, summary.size()), summary);
    const auto site = Tree(dir.File("arc/site"));
    std::vector<std::string> names;
    for (const auto& [name, bytes] : site) names.push_back(name);
    if (!windows) {
        // The folder from DOS comes last, by its bytes.
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[names.size() - 2], kObzor + "/index.htm");
        EXPECT_EQ(names.back(), kObzor + "/" + kObzor + ".htm");
        names.resize(names.size() - 2);
    }
    std::vector<std::string> want = {"a.htm",
                                     "index.htm",
                                     "o #?\"<%41/index.htm",
                                     "o #?\"<%41/p #?\"<%41.htm",
                                     "o #?\"<%41/u\xed\xa0\x80\x80.htm",
                                     "sub/1p10.png",
                                     "sub/2p10.png",
                                     "sub/3.htm",
                                     "sub/index.htm",
                                     "sub/link.htm",
                                     "sub/p10.htm",
                                     "sub/p2.htm",
                                     "x.y/d/1e.png",
                                     "x.y/d/2e.png",
                                     "x.y/d/e.htm",
                                     "x.y/d/index.htm",
                                     "x.y/index.htm",
                                     "x.y/z.htm"};
    // Under Wine the link "up" to the archive is a folder like any other: one that holds
    // itself is not entered.
    if (windows) std::erase_if(want, [](const std::string& n) { return n.starts_with("o #"); });
    EXPECT_EQ(names, want);
    EXPECT_NE(site.at("a.htm").find("second a"), std::string::npos);
    EXPECT_NE(site.at("sub/link.htm").find("first a"), std::string::npos);
    // The same pages as one document converted alone.
    std::filesystem::create_directory(dir.File("alone"));
    ASSERT_EQ(Tool(dir, "-q -d alone 'arc/sub/p10.$w'").status, 0);
    EXPECT_EQ(site.at("sub/p10.htm"), Page(dir, "alone/p10.htm"));
    EXPECT_EQ(site.at("sub/1p10.png"), Page(dir, "alone/1p10.png"));

    // Every index: HTML5 without a checker's complaint, UTF-8 throughout, every link leads
    // to a file, and every page and folder of its folder is linked, in natural order.
    for (const auto& [name, html] : site) {
        if (!name.ends_with("index.htm")) continue;
        const std::string path = dir.File("arc/site/" + name);
        EXPECT_EQ(std::system(("tidy -q -e '" + path + "' 2>/dev/null").c_str()), 0) << name;
        EXPECT_EQ(std::system(("iconv -f UTF-8 -t UTF-8 '" + path + "' >/dev/null 2>&1").c_str()),
                  0)
            << name;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        std::vector<std::string> links;
        const std::regex link("(href|src)=\"([^\"]*)\"");
        for (auto m = std::sregex_iterator(html.begin(), html.end(), link);
             m != std::sregex_iterator(); ++m) {
            // As a browser takes it: the file is what comes before "#" or "?".
            const std::string address = (*m)[2];
            const std::string target =
                names::PercentDecoded(address.substr(0, address.find_first_of("#?")));
            EXPECT_TRUE(std::filesystem::is_regular_file(folder / target)) << name << target;
            links.push_back(target);
        }
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            const std::string file = e.path().filename().string();
            const std::string wanted = e.is_directory() ? file + "/index.htm" : file;
            if ((e.is_directory() || file.ends_with(".htm")) && file != "index.htm" &&
                file[0] != '.') {
                EXPECT_NE(std::find(links.begin(), links.end(), wanted), links.end())
                    << name << wanted;
            }
        }
    }
    EXPECT_LT(site.at("sub/index.htm").find("3.$w"), site.at("sub/index.htm").find("p2.$w"));
    EXPECT_LT(site.at("sub/index.htm").find("p2.$w"), site.at("sub/index.htm").find("p10.$w"));
    EXPECT_NE(site.at("sub/index.htm").find("<img class=\"t\" src=\"1p10.png\""),
              std::string::npos);
    // Names from DOS show in Cyrillic, in the indexes and the progress lines; the links and
    // the files keep the name's bytes.
    if (!windows) {
        EXPECT_NE(site.at("index.htm").find("<a href=\"%8E%A1%A7%AE%E0/index.htm\">Обзор/</a>"),
                  std::string::npos);
        const std::string& dos = site.at(kObzor + "/index.htm");
        EXPECT_NE(dos.find("<h1>/Обзор/</h1>"), std::string::npos) << dos;
        EXPECT_NE(dos.find("<a href=\"%8E%A1%A7%AE%E0.htm\">Обзор.$w</a>"), std::string::npos);
        EXPECT_NE(r.err.find("arc/Обзор/Обзор.$w -> arc/site/Обзор/Обзор.htm (0 pictures)\n"),
                  std::string::npos)
            << r.err;
        const TToolRun dry = Tool(dir, "--update --dry-run --report r.json -d arc/site arc");
        EXPECT_NE(dry.out.find("arc/Обзор/Обзор.$w -> arc/site/Обзор/Обзор.htm: up to date\n"),
                  std::string::npos)
            << dry.out;
        EXPECT_NE(Page(dir, "r.json").find("\"input\":\"arc/Обзор/Обзор.$w\""), std::string::npos);
        // A modern page's title shows its name by the code page: another one makes other pages.
        ASSERT_EQ(Tool(dir, "-q --html5 -d m arc").status, 1);
        for (const auto& [encoding, plan] :
             {std::pair{"", "up to date"},
              {"--name-encoding koi8-r ", "convert (options changed)"}})
            EXPECT_NE(Tool(dir, "--update --dry-run --html5 " + std::string(encoding) + "-d m arc")
                          .out.find("arc/sub/p2.$w -> m/sub/p2.htm: " + std::string(plan) + "\n"),
                      std::string::npos)
                << encoding;
        ASSERT_EQ(Tool(dir, "--index --name-encoding utf-8 -d arc/site").status, 0);
        EXPECT_NE(Page(dir, "arc/site/" + kObzor + "/index.htm").find("<h1>/\uFFFD\uFFFD"),
                  std::string::npos);
    }

    EXPECT_EQ(Tool(dir, "-j 1 -d arc/site1 arc").status, 1);
    EXPECT_EQ(Tree(dir.File("arc/site1")), site);
}

TEST(Vornik2Html, SharesAndIndexMakeTheWholeSiteAndUpdateConvertsOnlyWhatChanged) {
    if (test::WindowsTools()) GTEST_SKIP() << "names Windows does not allow, and ulimit";
    TempDir dir;
    MakeArchive(dir);
    std::filesystem::remove(dir.File("arc/a.$1"));
    ASSERT_EQ(Tool(dir, "-d whole arc").status, 0);
    for (const char* share : {"1/3", "2/3", "3/3"})
        ASSERT_EQ(Tool(dir, std::string("-q --shard ") + share + " -d parts arc").status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("parts/index.htm")));
    const TToolRun index = Tool(dir, "--index -d parts");
    EXPECT_EQ(index.status, 0) << index.err;
    EXPECT_EQ(Tree(dir.File("parts")), Tree(dir.File("whole")));
    // No file takes a byte under a file-size limit of 0: every index that must change fails
    // and stays as it was. The messages come through a pipe, which the limit leaves alone.
    const std::string stale = "<meta name=\"generator\" content=\"vornik2html\">\n";
    const std::vector<std::string> folders = {"o #?\"<%41/", "sub/",       "x.y/d/",
                                              "x.y/",        kObzor + "/", ""};
    for (const std::string& folder : folders)
        test::WriteFileBytes(dir.File("parts/" + folder + "index.htm"), test::ToBytes(stale));
    const std::string tool = std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    const std::string command = "cd '" + dir.Path().string() +
                                "' && ulimit -f 0 && trap '' XFSZ && exec '" + tool +
                                "' --index -d parts 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string err(4096, '\0');
    err.resize(std::fread(err.data(), 1, err.size(), pipe));
    EXPECT_EQ(WEXITSTATUS(::pclose(pipe)), 1);
    std::string want;
    for (const std::string& folder : folders) {
        const std::string shown = folder == kObzor + "/" ? "Обзор/" : folder;
        want += "vornik2html: Cannot write \"parts/" + shown + "index.htm\": File too large\n";
        EXPECT_EQ(Page(dir, "parts/" + folder + "index.htm"), stale);
    }
    EXPECT_EQ(err, want);
    ASSERT_EQ(Tool(dir, "-q --index -d parts").status, 0);
    EXPECT_EQ(Tree(dir.File("parts")), Tree(dir.File("whole")));

    // A document newer than its page and a page gone: these two only.
    const auto later = std::filesystem::file_time_type::clock::now() + std::chrono::hours(1);
    std::filesystem::last_write_time(dir.File("arc/sub/p2.$w"), later);
    std::filesystem::remove(dir.File("whole/x.y/z.htm"));
    const TToolRun update = Tool(dir, "-j 1 --update -d whole arc");
    EXPECT_EQ(update.status, 0);
    EXPECT_EQ(update.err,
              "arc/sub/p2.$w -> whole/sub/p2.htm (0 pictures)\n"
              "arc/x.y/z.$w -> whole/x.y/z.htm (0 pictures)\n");
    EXPECT_EQ(update.summary.substr(0, 49), "2 converted, 8 up to date, 0 failed, 0 pictures, ");
    EXPECT_EQ(Tree(dir.File("parts")), Tree(dir.File("whole")));

    // --index says what it cannot list: a page without its record, a record without its page.
    std::filesystem::remove(dir.File("parts/sub/.vornik2html/p2.rec"));
    std::filesystem::remove(dir.File("parts/x.y/z.htm"));
    const TToolRun unlisted = Tool(dir, "--index -d parts");
    EXPECT_EQ(unlisted.status, 0);
    EXPECT_EQ(unlisted.err,
              "vornik2html: parts/sub/p2.htm: not listed: it has no record\n"
              "vornik2html: parts/x.y/z.htm: not listed: the page is missing\n");
    EXPECT_EQ(Page(dir, "parts/sub/index.htm").find("p2.htm"), std::string::npos);

    // A page that would be its folder's index, and an index.htm of someone else's: neither
    // is written over.
    test::WriteFileBytes(dir.File("arc/sub/index.$w"), test::ToBytes(std::string(17, 'h') + "i\r"));
    test::WriteFileBytes(dir.File("whole/x.y/index.htm"), test::ToBytes("mine"));
    const TToolRun kept = Tool(dir, "-q --update -d whole arc");
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err,
              "vornik2html: arc/sub/index.$w: Cannot create \"whole/sub/index.htm\": it is the "
              "folder's index page\n"
              "vornik2html: Cannot write \"whole/x.y/index.htm\": it is not an index of "
              "vornik2html\n");
    EXPECT_EQ(Page(dir, "whole/x.y/index.htm"), "mine");
    EXPECT_NE(Page(dir, "whole/sub/index.htm").find("<h1>/sub/</h1>"), std::string::npos);

    // A document that fails by itself is not tried again while it does not change; that
    // is a failure, said even with -q.
    test::WriteFileBytes(dir.File("arc/sub/h.$w"), test::ToBytes(std::string(17, 'h')));
    ASSERT_EQ(Tool(dir, "-q --update -d whole arc").status, 1);
    const TToolRun skipped = Tool(dir, "-q --update -d whole arc");
    EXPECT_EQ(skipped.status, 1);
    EXPECT_EQ(skipped.err.substr(skipped.err.rfind('\n', skipped.err.size() - 2) + 1),
              "vornik2html: 1 document failed before and did not change since: not tried again "
              "(--retry-failed tries them)\n")
        << skipped.err;
}

// An address of the site as the file it names: %XX decoded, below folder.
std::string Resolved(const std::string& folder, const std::string& href) {
    std::string name;
    for (size_t i = 0; i < href.size(); ++i) {
        if (href[i] == '%' && i + 2 < href.size()) {
            name += static_cast<char>(std::stoi(href.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            name += href[i];
        }
    }
    return (std::filesystem::path(folder) / name).lexically_normal().string();
}

// With the site's options: each modern page's bar leads up its folders, to its
// neighbours and to its original; the faces are the render's thumbnails; an unchanged
// --update writes nothing, and --prune takes every file of a gone document.
TEST(Vornik2Html, ASiteLinksItsPagesAndKeepsTheirFiles) {
    TempDir dir;
    test::WriteSampleArchive(dir.Path());
    const std::string options = "-q --html5 --originals --thumbnails --render -d site ";
    const TToolRun made = Tool(dir, options + "archive");
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string site = dir.File("site");
    struct Bar {
        std::string page;
        std::vector<std::string> links;  // up to the root first, then previous, next, original
    };
    const Bar bars[] = {
        {"a&b #1%.htm", {"index.htm", "news 1.htm", "a&b #1%.$w"}},
        {"news 1.htm", {"index.htm", "a&b #1%.htm", "obzor.htm", "news 1.$w"}},
        {"obzor.htm", {"index.htm", "news 1.htm", "obzor.$w"}},
        {"sub folder/погода.htm", {"index.htm", "sub folder/index.htm", "sub folder/погода.$ж"}},
        {"sub folder/deeper/english.htm",
         {"index.htm", "sub folder/index.htm", "sub folder/deeper/index.htm",
          "sub folder/deeper/english.$w"}},
    };
    for (const Bar& b : bars) {
        const std::string html = Page(dir, "site/" + b.page);
        const size_t start = html.find("<body><nav "), end = html.find("</nav>");
        ASSERT_NE(start, std::string::npos) << b.page;
        const std::string nav = html.substr(start, end - start);
        const std::regex href("href=\"([^\"]*)\"");
        std::vector<std::string> links;
        const std::string folder(std::filesystem::path(site + "/" + b.page).parent_path());
        for (auto m = std::sregex_iterator(nav.begin(), nav.end(), href);
             m != std::sregex_iterator(); ++m) {
            const std::string file = Resolved(folder, (*m)[1]);
            EXPECT_TRUE(std::filesystem::is_regular_file(file)) << b.page << ": " << (*m)[1];
            links.push_back(std::filesystem::relative(file, site).string());
        }
        EXPECT_EQ(links, b.links) << b.page;
    }
    // The original byte for byte; the faces of a text-only and a picture document are the
    // render's thumbnails (whose pixels page_face_test holds against the render).
    for (const std::string& name : {std::string("news 1"), std::string("obzor")}) {
        const std::string document = Page(dir, "archive/" + name + ".$w");
        EXPECT_EQ(Page(dir, "site/" + name + ".$w"), document);
        const TPageLook look{.SkipHeader = true};
        const std::vector<uint8_t> face = ThumbnailPng(document, look);
        EXPECT_EQ(Page(dir, "site/" + name + ".face.png"), std::string(face.begin(), face.end()));
        const std::vector<uint8_t> whole = RenderedPagePng(document, look);
        EXPECT_EQ(Page(dir, "site/" + name + ".page.png"), std::string(whole.begin(), whole.end()));
    }
    const std::string root = Page(dir, "site/index.htm");
    for (const char* shown :
         {"<img class=\"f\" src=\"obzor.face.png\"", "<span class=\"l\">ОБЗОР НОМЕРА</span>",
          "<p>5 documents, 3 pictures, 2,045 bytes of originals; last changed on ",
          "href=\"obzor.page.png\">whole page</a>", "href=\"obzor.$w\">original</a>"})
        EXPECT_NE(root.find(shown), std::string::npos) << shown << "\n" << root;

    // An unchanged --update writes nothing, the root's date included.
    const auto before = Tree(site);
    const auto indexTime = std::filesystem::last_write_time(site + "/index.htm");
    EXPECT_EQ(Tool(dir, "--update " + options + "archive").status, 0);
    EXPECT_EQ(Tree(site), before);
    EXPECT_EQ(std::filesystem::last_write_time(site + "/index.htm"), indexTime);

    // A document gone: --prune removes all its files, and its neighbour's bar ends.
    std::filesystem::remove(dir.File("archive/obzor.$w"));
    EXPECT_EQ(Tool(dir, "--update --prune " + options + "archive").status, 0);
    for (const char* file : {"obzor.htm", "obzor.$w", "obzor.face.png", "obzor.page.png",
                             "1obzor.png", ".vornik2html/obzor.rec"})
        EXPECT_FALSE(std::filesystem::exists(site + "/" + file)) << file;
    EXPECT_EQ(Page(dir, "site/news 1.htm").find("obzor"), std::string::npos);

    // No Pagefind: the call fails before it writes anything.
    if (test::WindowsTools()) return;
    const std::string noSearch = "cd '" + dir.Path().string() + "' && PATH=/nowhere " +
                                 test::ToolCommand("vornik2html") +
                                 " -q --search -d unsearched archive 2> .stderr";
    const int raw = std::system(noSearch.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_NE(Page(dir, ".stderr").find("npm install -g pagefind"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("unsearched/index.htm")));
}
}  // namespace
}  // namespace quill
