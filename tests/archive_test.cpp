#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "archive/DocumentFilter.h"
#include "archive/NaturalOrder.h"
#include "archive/PageRecords.h"
#include "archive/Progress.h"
#include "archive/Shard.h"
#include "archive/SiteFiles.h"
#include "archive/TextSniff.h"
#include "archive/WorkerPool.h"
#include "platform/FileIdentity.h"
#include "platform/MemoryPlatform.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

TEST(Archive, NamesSortAndShare) {
    std::vector<std::string> names = {"p10", "p2", "p02", "b", "a10b", "a9c", "", "p1x", "p1"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names,
              (std::vector<std::string>{"", "a9c", "a10b", "b", "p1", "p1x", "p02", "p2", "p10"}));
    EXPECT_TRUE(NaturalLess("x99999999999999999999", "x100000000000000000000"));

    for (const char* bad : {"0/3", "4/3", "1/0", "1", "a/b", "1/3x", "-1/3", ""})
        EXPECT_FALSE(TShard::Parse(bad)) << bad;
    // Every document falls in exactly one share, and the shares are not empty.
    for (size_t i = 0; i < 300; ++i) {
        std::string path = "folder ";
        path += std::to_string(i % 7);
        path += "/doc";
        path += std::to_string(i);
        int shares = 0;
        for (unsigned k = 1; k <= 3; ++k) shares += TShard(k, 3).Contains(path);
        EXPECT_EQ(shares, 1) << path;
    }
    int first = 0;
    for (size_t i = 0; i < 300; ++i) first += TShard(1, 3).Contains(std::to_string(i));
    EXPECT_GT(first, 60);
    EXPECT_LT(first, 140);
}

TEST(Archive, DocumentNamesAndRecords) {
    const TDocumentFilter byName, byPattern({"*.txt", "[0-9]*"});
    const std::pair<const char*, std::pair<bool, bool>> names[] = {
        {"a.$w", {true, false}},    {"a.$1", {true, false}},         {"a.$ww", {false, false}},
        {"a.b.$w", {false, false}}, {"a.txt", {false, true}},        {"1.$w", {true, true}},
        {".a.$w", {false, false}},  {".hidden.txt", {false, false}},
    };
    for (const auto& [name, is] : names) {
        EXPECT_EQ(byName.IsDocument(name), is.first) << name;
        EXPECT_EQ(byPattern.IsDocument(name), is.second) << name;
    }

    // A page's own record counts over the rows of the record files earlier versions kept
    // for a whole folder, of which the newer file's word counts. Names with the records'
    // separators survive, and what a later version adds is passed over.
    TMemoryPlatform memory;
    memory.WriteFile("/s/.vornik2html-pages-1-of-2",
                     "vornik2html pages 1\nc.htm\tc.$w\t1\t0\t\nb.htm\tb.$w\t5\t2\t1b.png\n");
    memory.WriteFile("/s/.vornik2html-pages", "vornik2html pages 1\nc.htm\tc.$1\t2\t1\t1c.png\n");
    TPageRecord odd;
    odd.Page = "a\tb%.htm";
    odd.Document = "a\tb%\n.$w";
    odd.Size = 12345678901ull;
    odd.Pictures = 3;
    odd.Files = {"1a\rb.png", "2a\rb.png"};
    odd.FirstPicture = odd.Files[0];
    odd.Archive = "/x %41";
    odd.Source = "s/" + odd.Document;
    odd.Time = -5;
    odd.Options = "--html5 --lang ru";
    TPageRecords::Write("/s", odd, memory);
    memory.WriteFile("/s/.vornik2html/b.rec",
                     "vornik2html page 7\npage\tb.htm\tdocument\tb.$1\tshade\tred\tsize\t9\n");
    memory.WriteFile("/s/.vornik2html/x.rec", "vornik2html pages 1\n");
    std::vector<std::string> unreadable;
    const auto records = TPageRecords::Read("/s", memory, &unreadable);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(TPageRecords::Text(records.at(odd.Page)), TPageRecords::Text(odd));
    EXPECT_EQ(records.at(odd.Page).FirstPicture, odd.Files[0]);
    const TPageRecord& b = records.at("b.htm");
    EXPECT_EQ(std::make_tuple(b.Document, b.Size, b.Old), std::make_tuple("b.$1", 9ull, false));
    const TPageRecord& c = records.at("c.htm");
    EXPECT_EQ(std::make_tuple(c.Document, c.Pictures, c.FirstPicture, c.Old),
              std::make_tuple("c.$1", 1, "1c.png", true));
    EXPECT_EQ(unreadable,
              std::vector<std::string>{"/s/.vornik2html/x.rec: not a record of vornik2html"});
}

TEST(Archive, OtherTextAndCounts) {
    struct Case {
        std::string head;
        std::string kind;
    };
    const Case cases[] = {
        {"text\r", ""},
        {"line\nline\r\n", ""},  // a CR anywhere: a document's
        {"one\ntwo\n", "a text file with LF line ends"},
        {"gr\xc3\xbc\xc3\x9f\r", "a UTF-8 text file"},
        {"cut \xe2\x82", "a UTF-8 text file"},  // cut off by the end of the look
        {"\x8f\xe0\xa8\xa2\xa5\xe2\r", ""},     // cp866 letters
        {"\xc3\xbc\xff\r", ""},
        {"plain ascii\r", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LooksLikeOtherText(c.head), c.kind) << c.head;

    EXPECT_EQ(TProgress::Count(1, "picture", "pictures"), "1 picture");
    EXPECT_EQ(TProgress::Count(0, "picture", "pictures"), "0 pictures");
    EXPECT_EQ(TProgress::Count(5210, "picture", "pictures"), "5,210 pictures");
    EXPECT_EQ(TProgress::Count(1234567, "document", "documents"), "1,234,567 documents");
    EXPECT_EQ(TProgress::Duration(41.2), "41 s");
    EXPECT_EQ(TProgress::Duration(125), "2 min 5 s");
    EXPECT_EQ(TProgress::Duration(7300), "2 h 1 min");

    // The summary of a call: counts, and nothing that looks like work when none was done.
    struct SummaryCase {
        TCallCounts counts;
        bool converts;  // one document converted, one failed
        std::string want;
    };
    const SummaryCase summaries[] = {
        {{}, true, "2 documents, 1 failed, 3 pictures, 0 s"},
        {{.Prune = true, .Gone = 1}, true, "2 documents, 1 failed, 1 pruned, 3 pictures, 0 s"},
        {{.Update = true, .UpToDate = 1200}, false, "nothing to do: 1,200 documents up to date"},
        {{.Update = true, .UpToDate = 1200, .Recorded = 2, .Skipped = 1234, .Gone = 3},
         true,
         "1 converted, 1,200 up to date (2 recorded), 1,235 failed (1,234 not tried again), "
         "3 gone, 3 pictures, 0 s"},
    };
    for (const SummaryCase& c : summaries) {
        TMemoryPlatform clock;
        TProgress progress(2, 10, 2, false, false, true, clock);
        if (c.converts) {
            progress.Converted(1, "b", "b.htm", 3, 5);
            progress.Failed(0, "a", "reason");
        }
        EXPECT_EQ(progress.Summary(c.counts), c.want);
    }
}

TEST(Archive, OnePoolRunsDocumentsAndTheirPicturesAndReportsTheFirstFailure) {
    // Each pool also once with documents run inside another's wait for its pictures.
    for (const unsigned workers : {1u, 2u, 5u, 11u, 12u, 15u}) {
        TWorkerPool pool(workers % 10);
        if (workers > 10) pool.MayNest([](size_t, size_t) { return true; });
        std::vector<std::atomic<int>> done(40 * 30), prepared(40 * 30);
        std::vector<std::string> errors(40);
        // Documents 3, 7, ... fail to prepare picture 12: that failure is raised, after
        // the pictures already started, and no later picture runs.
        pool.RunDocuments(40, [&](size_t d) {
            try {
                pool.PicturesOf(d).RunAll(
                    30,
                    [&](size_t p) {
                        if (d % 4 == 3 && p == 12) throw std::runtime_error("prepare 12");
                        ++prepared[d * 30 + p];
                    },
                    [&](size_t p) {
                        done[d * 30 + p] += prepared[d * 30 + p];
                        if (d % 4 % 2 == 1 && (p == 7 || p == 20))
                            throw std::runtime_error(p == 7 ? "picture 7" : "picture 20");
                    });
            } catch (const std::exception& e) {
                errors[d] = e.what();
            }
            while (pool.HelpOnce()) {
            }
        });
        for (size_t i = 0; i < done.size(); ++i)
            EXPECT_EQ(done[i], i / 30 % 4 == 3 && i % 30 >= 12 ? 0 : 1) << workers << " " << i;
        for (size_t d = 0; d < errors.size(); ++d)
            EXPECT_EQ(errors[d], d % 4 == 1   ? "picture 7"
                                 : d % 4 == 3 ? "prepare 12"
                                              : "")
                << workers << " " << d;
    }
}

// The key of a name is that of the file it names, links and ".." taken as the system takes
// them, whether looked up alone (FileKey) or among thousands (TFileKeys): two names of one
// file with different keys let one document of a call replace another's file unseen.
TEST(Archive, FileKeysAreThoseOfTheFilesNamed) {
    test::TempDir dir;
    const std::filesystem::path root = dir.Path();
    std::filesystem::create_directories(root / "real" / "sub");
    test::WriteFileBytes((root / "real" / "file").string(), {});
#ifndef _WIN32
    std::filesystem::create_directory_symlink(root / "real", root / "folder link");
    std::filesystem::create_directory_symlink("real/sub", root / "sub link");
    std::filesystem::create_symlink(root / "real" / "file", root / "real" / "file link");
    std::filesystem::create_symlink("nowhere", root / "real" / "dangling");
#endif
    struct Case {
        std::string name;
        std::string file;  // the file it names, below the root ("": the root)
    };
    const Case cases[] = {
        {"real/file", "real/file"},
        {"real/missing", "real/missing"},
        {"missing/deeper/x.htm", "missing/deeper/x.htm"},
#ifdef _WIN32
        // One file whatever the case, either separator, a drive letter or not.
        {"REAL\\File", "real/file"},
        {"real\\Missing\\", "real/missing"},
        {"Real/sub\\..\\New.PNG", "real/new.png"},
#else
        {"folder link/file", "real/file"},
        {"folder link/new.png", "real/new.png"},
        {"real/file link", "real/file"},
        {"real/dangling", "real/nowhere"},  // what a write through it creates
        {"folder link/", "real"},
        {"folder link/../real/file", "real/file"},
        {"sub link/../file", "real/file"},  // the parent of the folder the link leads to
        {"sub link/../../real/new.png", "real/new.png"},
#endif
        {"real/../real/file", "real/file"},
        {"real/./file", "real/file"},
        {"real/", "real"},
        {"real//file", "real/file"},
        {"", ""},
    };
#ifdef _WIN32
    // Keys are in lower case, "/" between folders.
    std::string base = std::filesystem::canonical(root).string();
    for (char& c : base) c = c == '\\' ? '/' : static_cast<char>(std::tolower(c));
#else
    const std::string base = std::filesystem::canonical(root).string();
#endif
    TFileKeys keys;
    for (const Case& c : cases) {
        const std::string path = (root / c.name).string();
        const std::string want = c.file.empty() ? base : base + "/" + c.file;
        EXPECT_EQ(FileKey(path), want) << c.name;
        EXPECT_EQ(keys(path), want) << c.name;
        EXPECT_EQ(keys(path), want) << c.name << " (again)";
    }
#ifndef _WIN32
    EXPECT_EQ(keys("/"), "/");
#endif
}

// What an index row says of a document: its first line that shows text, as the page shows
// it.
TEST(Archive, AnIndexRowShowsTheFirstLineThePageShows) {
    using namespace std::string_literals;
    struct Case {
        std::string document;
        bool skipHeader;
        std::string line;
    };
    const Case cases[] = {
        {"\r \r  Hello  \rsecond\r", false, "Hello"},
        {std::string(17, 'h') + "text\r", true, "text"},
        {"hdr\r"s + "text\r", false, "hdr"},
        {"\x02red\x01 and\tplain\r", false, "red and plain"},
        {"a\nb\r", false, "ab"},
        {"\x8f\xe0\xa8\xa2\xa5\xe2\r", false, "\u041f\u0440\u0438\u0432\u0435\u0442"},
        {"\xff\x80\rafter the picture\r", false, "after the picture"},
        {"\r\0only text before the pictures"s, false, ""},
        {std::string(130, 'a'), false, std::string(120, 'a')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstTextLine(c.document, c.skipHeader), c.line) << c.document;
}

}  // namespace
}  // namespace quill
