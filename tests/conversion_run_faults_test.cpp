// Faults of the file system and of the files named, met by root too: every one gives an
// error naming the file and the real cause, leaves every file in the folder byte for byte
// as it was (no temporary file either), never hangs, and the command-line converter
// reports it on stderr with exit status 1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "support/ConvertSupport.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A document with text, one picture of one character row and its data.
std::string PictureDocument() {
    std::string doc = "text <b>\r\xFF\x80\r";
    doc.push_back('\0');
    for (int i = 0; i < 288; ++i) doc.push_back(static_cast<char>(i * 37));
    return doc;
}

struct TToolRun {
    int status = -1;
    std::string err;
};

TToolRun Tool(const TempDir& dir, const std::string& input, const std::string& page, bool html5) {
    const std::string tool = std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    const std::string command = "timeout 20 '" + tool + "' -q " + (html5 ? "--html5 " : "") +
                                "-o '" + page + "' '" + input + "' 2> '" + dir.File(".stderr") +
                                "'";
    const int raw = std::system(command.c_str());
    TToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = test::ToString(test::ReadFileBytes(dir.File(".stderr")));
    return r;
}

// What a folder holds: each entry's kind, and a regular file's bytes or a link's target.
std::map<std::string, std::string> Snapshot(const TempDir& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path())) {
        const std::string name = fs::relative(e.path(), dir.Path()).string();
        if (name == ".stderr") continue;
        if (e.is_symlink())
            entries[name] = "link " + fs::read_symlink(e.path()).string();
        else if (e.is_regular_file())
            entries[name] = test::ToString(test::ReadFileBytes(e.path().string()));
        else
            entries[name] = e.is_directory() ? "folder" : "other";
    }
    return entries;
}

// Any run that still waits after this long fails the test instead of hanging it.
class Faults : public ::testing::Test {
  protected:
    void SetUp() override { alarm(60); }
    void TearDown() override { alarm(0); }
};

TEST_F(Faults, EachFaultIsReportedNamingTheFileAndTheDocumentStaysAsItWas) {
    struct Case {
        const char* what;
        // Prepares the folder; answers the input and the page to use.
        std::function<void(const TempDir&, std::string& input, std::string& page)> setup;
        std::string (*message)(const std::string& input, const std::string& page);
        bool modernToo = false;  // also with the modern page, whose pictures are compact
        // The tool's own word, when it refuses the command line before any run (exit 2).
        const char* usage = nullptr;
    };
    const std::string text = "a line\rand another\r";
    auto regular = [&](const TempDir& d, std::string& input, std::string& page) {
        test::WriteFileBytes(d.File("doc.txt"), test::ToBytes(text));
        input = d.File("doc.txt");
        page = d.File("page.htm");
    };
    // With the page of an earlier run, which must survive the failure.
    auto pictures = [&](const TempDir& d, std::string& input, std::string& page) {
        test::WriteFileBytes(d.File("doc.txt"), test::ToBytes(PictureDocument()));
        input = d.File("doc.txt");
        page = d.File("page.htm");
        test::WriteFileBytes(page, test::ToBytes("earlier page"));
    };
    const Case cases[] = {
        {"page in a folder that does not exist",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             page = d.File("nowhere/page.htm");
         },
         [](const std::string&, const std::string& page) {
             return "Cannot create \"" + page + "\": No such file or directory";
         }},
        {"page under a regular file",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             test::WriteFileBytes(d.File("plain"), test::ToBytes("x"));
             page = d.File("plain/page.htm");
         },
         [](const std::string&, const std::string& page) {
             return "Cannot create \"" + page + "\": Not a directory";
         }},
        {"page on a full device",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             page = "/dev/full";
         },
         [](const std::string&, const std::string&) {
             return std::string("Cannot write \"/dev/full\": No space left on device");
         }},
        {"page is the document through a symbolic link",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             fs::create_symlink(in, page);
         },
         [](const std::string& in, const std::string& page) {
             return "Cannot create \"" + page + "\": it is the input document \"" + in + "\"";
         }},
        {"page is the document through a hard link",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             fs::create_hard_link(in, page);
         },
         [](const std::string& in, const std::string& page) {
             return "Cannot create \"" + page + "\": it is the input document \"" + in + "\"";
         }},
        {"input that does not exist, over an earlier page",
         [&](const TempDir& d, std::string& in, std::string& page) {
             pictures(d, in, page);
             in = d.File("obzor.txt");
         },
         [](const std::string& in, const std::string&) {
             return "Cannot open \"" + in + "\": No such file or directory";
         }},
        {"document with no text part",
         [&](const TempDir& d, std::string& in, std::string& page) {
             pictures(d, in, page);
             in = d.File("x.$w");
             test::WriteFileBytes(in, test::Bytes(16, 'h'));
         },
         [](const std::string& in, const std::string&) {
             return "Cannot read \"" + in + "\": it has no text after the 17-byte header";
         }},
        {"page that is one of its own pictures",
         [&](const TempDir& d, std::string& in, std::string& page) {
             pictures(d, in, page);
             page = d.File("1doc.png");
         },
         [](const std::string&, const std::string& page) {
             return "Cannot write picture \"" + page + "\": it is the page \"" + page +
                    "\" of this run";
         }},
        {"input is a folder",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             fs::create_directory(d.File("folder"));
             in = d.File("folder");
         },
         [](const std::string& in, const std::string&) {
             return "Cannot open \"" + in + "\": Is a directory";
         },
         false, "is a folder: an archive needs -d DIR"},
        {"input is a named pipe nobody writes to",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             ASSERT_EQ(::mkfifo(d.File("pipe").c_str(), 0600), 0);
             in = d.File("pipe");
         },
         [](const std::string& in, const std::string&) {
             return "Cannot read \"" + in + "\": end of file";
         }},
        {"input is a device that never ends",
         [&](const TempDir& d, std::string& in, std::string& page) {
             regular(d, in, page);
             in = "/dev/zero";
         },
         [](const std::string& in, const std::string&) {
             return "Cannot open \"" + in + "\": not a regular file";
         }},
        {"picture on a full device",
         [&](const TempDir& d, std::string& in, std::string& page) {
             pictures(d, in, page);
             fs::create_symlink("/dev/full", d.File("1doc.png"));
         },
         [](const std::string&, const std::string& page) {
             return "Cannot write \"" + fs::path(page).parent_path().string() +
                    "/1doc.png\": No space left on device";
         },
         true},
        {"picture in a folder that does not exist",
         [&](const TempDir& d, std::string& in, std::string& page) {
             pictures(d, in, page);
             fs::create_symlink(d.File("nowhere/1.png"), d.File("1doc.png"));
         },
         [](const std::string&, const std::string& page) {
             return "Cannot create \"" + fs::path(page).parent_path().string() +
                    "/1doc.png\": No such file or directory";
         }},
        {"picture under a regular file",
         [&](const TempDir& d, std::string& in, std::string& page) {
             pictures(d, in, page);
             test::WriteFileBytes(d.File("plain"), test::ToBytes("x"));
             fs::create_symlink(d.File("plain/1.png"), d.File("1doc.png"));
         },
         [](const std::string&, const std::string& page) {
             return "Cannot create \"" + fs::path(page).parent_path().string() +
                    "/1doc.png\": Not a directory";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int kind = 0; kind < (c.modernToo ? 4 : 2); ++kind) {
            const bool tool = kind % 2 == 1, html5 = kind >= 2;
            SCOPED_TRACE(std::string(tool ? "vornik2html" : "conversion run") +
                         (html5 ? ", modern page" : ""));
            TempDir dir;
            std::string input, page;
            c.setup(dir, input, page);
            const auto before = Snapshot(dir);
            const std::string expected = c.message(input, page);
            if (tool) {
                const TToolRun r = Tool(dir, input, page, html5);
                if (c.usage) {
                    EXPECT_EQ(r.status, 2);
                    EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(c.usage), std::string::npos)
                        << r.err;
                } else {
                    EXPECT_EQ(r.status, 1);
                    EXPECT_EQ(r.err, "vornik2html: " + input + ": " + expected + "\n");
                }
            } else {
                const test::TConverted out =
                    test::ConvertFile(input, page, {.run = {.Html5 = html5}});
                EXPECT_FALSE(out.result.Completed);
                EXPECT_EQ(out.error, expected);
            }
            EXPECT_EQ(Snapshot(dir), before);
        }
    }
}

}  // namespace
}  // namespace quill
