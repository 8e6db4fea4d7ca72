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
#include "archive/TextSniff.h"
#include "archive/WorkerPool.h"
#include "platform/FileIdentity.h"
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

    // Names with the record's separators survive; a newer record file's word counts.
    test::TempDir dir;
    const TPageRecord odd{"a\tb%.htm", "a\tb%\n.$w", 12345678901ull, 3, "1a\rb.png"};
    TPageRecords::Update(dir.Path().string(), TPageRecords::FileName("-1-of-2"),
                         {odd, {"c.htm", "c.$w", 1, 0, ""}});
    const std::string older = dir.File(TPageRecords::FileName("-1-of-2"));
    std::filesystem::last_write_time(
        older, std::filesystem::last_write_time(older) - std::chrono::hours(1));
    TPageRecords::Update(dir.Path().string(), TPageRecords::FileName(""),
                         {{"c.htm", "c.$1", 2, 1, "1c.png"}});
    const auto records = TPageRecords::Read(dir.Path().string());
    ASSERT_EQ(records.size(), 2u);
    const TPageRecord& a = records.at(odd.Page);
    EXPECT_EQ(std::tie(a.Document, a.Size, a.Pictures, a.FirstPicture),
              std::tie(odd.Document, odd.Size, odd.Pictures, odd.FirstPicture));
    EXPECT_EQ(records.at("c.htm").Document, "c.$1");
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

}  // namespace
}  // namespace quill
