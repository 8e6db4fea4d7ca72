// Whole calls in this process, on the memory platform: what each call leaves behind and
// what it says, for faults no real file system gives on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ArchiveCall.h"
#include "convert/DocumentNames.h"
#include "platform/JsonText.h"
#include "platform/MemoryPlatform.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using TCall = TMemoryPlatform::TCall;

// Every line a call would print, failures as "DOCUMENT: reason".
class TRecordingWatch : public TCallWatch {
  public:
    bool Cancelled() override { return cancel && cancel(); }
    void Started(const std::string&, size_t) override {}
    void Ended(const std::string& input, const std::string& reason, size_t, size_t,
               double) override {
        std::lock_guard<std::mutex> lock(lock_);
        if (!reason.empty()) lines.push_back(input + ": " + reason);
        if (reason.empty()) converted.push_back(input);
    }
    void Failed(const std::string& line) override {
        std::lock_guard<std::mutex> lock(lock_);
        lines.push_back(line);
    }
    std::vector<std::string> lines, converted;
    std::function<bool()> cancel;

  private:
    std::mutex lock_;
};

// One picture under the 17-byte header.
const std::string kDocument =
    std::string(17, 'h') + "text\r\xff\x80\r" + "\0"s + std::string(288, '\x47');

struct TCallRun {
    int status = 0;
    std::vector<std::string> lines, converted;
};

TCallRun Call(TMemoryPlatform& memory, std::vector<std::string> inputs, unsigned jobs,
              const std::function<void(TCallSettings&)>& more = {},
              std::function<bool()> cancel = {}) {
    TCallSettings settings;
    settings.inputs = std::move(inputs);
    settings.dir = "/site";
    settings.jobs = jobs;
    settings.platform = &memory;
    TRecordingWatch watch;
    watch.cancel = std::move(cancel);
    settings.watch = &watch;
    if (more) more(settings);
    TCallRun run;
    run.status = RunCall(settings);
    run.lines = watch.lines;
    std::sort(watch.converted.begin(), watch.converted.end());
    run.converted = watch.converted;
    return run;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& files) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) names.push_back(name);
    return names;
}

TEST(ArchiveCall, FaultsLeaveTheSiteAsItWasAndSayWhy) {
    struct Case {
        const char* what;
        std::function<void(TMemoryPlatform&)> fault;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a folder that cannot be listed",
         [](TMemoryPlatform& m) { m.Lock("/arc/sub", /*listable=*/false); },
         {"/arc/sub: Cannot read the folder: Permission denied"}},
        {"a folder that lists but cannot be entered",
         [](TMemoryPlatform& m) { m.Lock("/arc/sub", /*listable=*/true); },
         {"/arc/sub/c.$w: Cannot look at it: Permission denied"}},
        {"a full disk",
         [](TMemoryPlatform& m) { m.SetCapacity(0); },
         {"/arc/a.$w: Cannot write \"/site/a.htm\": No space left on device",
          "/arc/b.$w: Cannot write \"/site/b.htm\": No space left on device",
          "/arc/sub/c.$w: Cannot write \"/site/sub/c.htm\": No space left on device",
          "Cannot write \"/site/.vornik2html/failures\": No space left on device",
          "Cannot write \"/site/sub/.vornik2html/failures\": No space left on device"}},
        {"a page whose close fails",
         [](TMemoryPlatform& m) {
             m.SetFault([](TCall call, const std::string& path) {
                 return call == TCall::Close && path.starts_with("/site/.b.htm.") ? EIO : 0;
             });
         },
         {"/arc/b.$w: Cannot close \"/site/b.htm\": Input/output error"}},
        {"a picture that cannot be put in place",
         [](TMemoryPlatform& m) {
             m.SetFault([](TCall call, const std::string& path) {
                 return call == TCall::Rename && path == "/site/1b.png" ? EACCES : 0;
             });
         },
         {"/arc/b.$w: Cannot write \"/site/1b.png\": Permission denied"}},
    };
    for (const Case& c : cases) {
        for (const unsigned jobs : {1u, 3u}) {
            TMemoryPlatform memory;
            for (const char* name : {"/arc/a.$w", "/arc/b.$w", "/arc/sub/c.$w"})
                memory.WriteFile(name, kDocument);
            ASSERT_EQ(Call(memory, {"/arc"}, jobs).status, 0) << c.what;
            const auto before = memory.Files("/site");
            memory.WriteFile("/arc/b.$w", kDocument + "more");
            memory.WriteFile("/arc/sub/c.$w", kDocument + "more");
            c.fault(memory);
            TCallRun run = Call(memory, {"/arc"}, jobs);
            memory.SetFault({});
            std::sort(run.lines.begin(), run.lines.end());
            EXPECT_EQ(run.status, 1) << c.what;
            EXPECT_EQ(run.lines, c.lines) << c.what << " -j " << jobs;
            // No temporary file is left; a failed document keeps its earlier files, and
            // its folder the failure.
            auto after = memory.Files("/site");
            std::erase_if(after, [](const auto& f) { return f.first.ends_with("/failures"); });
            EXPECT_EQ(Names(after), Names(before)) << c.what << " -j " << jobs;
            EXPECT_EQ(after.at("b.htm"), before.at("b.htm")) << c.what;
            EXPECT_EQ(after.at("1b.png"), before.at("1b.png")) << c.what;
            EXPECT_EQ(memory.Files("/tmp").size(), 0u) << c.what;
        }
    }
}

// Every document below an archive is converted or named with the reason, never skipped in
// silence; nothing is left half-written.
TEST(ArchiveCall, EveryDocumentIsConvertedOrNamed) {
    std::string deep = "/arc";
    for (int i = 0; i < 2100; ++i) deep += "/d";  // 4,204 bytes: past the path limit
    const std::string longest = "/arc/" + std::string(245, 'n') + ".$w";  // its page: 249 bytes
    const std::string tooLong = std::string(252, 'n');  // a name its page cannot have
    struct Case {
        const char* what;
        std::function<void(TMemoryPlatform&)> setup;
        std::vector<std::string> converted, lines;
    };
    const Case cases[] = {
        {"a tree deeper than the path limit",
         [&](TMemoryPlatform& m) { m.WriteFile(deep + "/b.$w", kDocument); },
         {"/arc/a.$w", deep + "/b.$w"},
         {}},
        {"a system that reaches no further than its path limit",
         [&](TMemoryPlatform& m) {
             m.WriteFile(deep + "/b.$w", kDocument);
             m.SetPathLimit(4096, /*reachedBeyond=*/false);
         },
         {"/arc/a.$w"},
         {deep.substr(0, 4096) + ": Cannot look at it: its path of 4096 bytes is longer than the "
                                 "system takes (File name too long)"}},
        {"names near the name limit",
         [&](TMemoryPlatform& m) {
             m.WriteFile(longest, kDocument);
             m.WriteFile("/arc/" + tooLong + ".$w", kDocument);
         },
         {"/arc/a.$w", longest},
         {"/arc/" + tooLong + ".$w: Cannot create \"/site/" + tooLong +
          ".htm\": File name too long"}},
        {"a name gone since its folder was listed",
         [](TMemoryPlatform& m) {
             m.WriteFile("/arc/gone.$w", kDocument);
             m.SetFault([](TCall call, const std::string& path) {
                 return call == TCall::Status && path == "/arc/gone.$w" ? ENOENT : 0;
             });
         },
         {"/arc/a.$w"},
         {}},
    };
    for (const Case& c : cases) {
        TMemoryPlatform memory;
        memory.WriteFile("/arc/a.$w", kDocument);
        c.setup(memory);
        const TCallRun run = Call(memory, {"/arc"}, 2);
        EXPECT_EQ(run.status, c.lines.empty() ? 0 : 1) << c.what;
        EXPECT_EQ(run.converted, c.converted) << c.what;
        EXPECT_EQ(run.lines, c.lines) << c.what;
        const auto site = memory.Files("/site");
        for (const std::string& document : c.converted) {
            const std::string below = document.substr(5), folder(names::FolderOf(below));
            const std::string base = names::DeriveNames(below).BaseName;
            EXPECT_TRUE(site.count(folder + base + ".htm") &&
                        site.count(folder + "1" + base + ".png"))
                << c.what << below;
        }
        EXPECT_EQ(std::count_if(site.begin(), site.end(),
                                [](const auto& f) { return f.first.ends_with(".tmp"); }),
                  0)
            << c.what;
    }
}

// A site's files, with the moment each record's page was made left out: two calls make
// their pages at other times.
std::map<std::string, std::string> Timeless(std::map<std::string, std::string> files) {
    static const std::regex made("\tmade\t[0-9]+");
    for (auto& [name, bytes] : files)
        if (name.ends_with(".rec")) bytes = std::regex_replace(bytes, made, "\tmade\t");
    return files;
}

// The site's options: modern pages with their bars, originals, faces and whole pages.
void SiteOptions(TCallSettings& s) {
    s.run.Html5 = true;
    s.originals = s.thumbnails = s.render = true;
}

TEST(ArchiveCall, ClashesUpdatesAndSharesInMemory) {
    TMemoryPlatform memory;
    for (const char* name : {"/arc/a.$w", "/arc/a.$1", "/arc/1a.$w", "/arc/sub/b.$w"})
        memory.WriteFile(name, kDocument);
    const TCallRun first = Call(memory, {"/arc"}, 2);
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.lines, std::vector<std::string>{"/arc/a.$w: page \"/site/a.htm\" is already "
                                                    "written by \"/arc/a.$1\" in this call"});
    const auto whole = memory.Files("/site");

    // Nothing changed: --update converts nothing. One document changed: that one.
    const auto update = [&](TCallSettings& s) { s.update = true; };
    EXPECT_EQ(Call(memory, {"/arc"}, 2, update).converted, std::vector<std::string>{});
    memory.WriteFile("/arc/sub/b.$w", kDocument);
    EXPECT_EQ(Call(memory, {"/arc"}, 2, update).converted,
              std::vector<std::string>{"/arc/sub/b.$w"});

    // Three shares and the index pages once make the site of one run; with the site's
    // options too (every share writes the same bars, faces and originals).
    for (const bool withSite : {false, true}) {
        const auto options = [&](TCallSettings& s, const char* dir) {
            s.dir = dir;
            if (withSite) SiteOptions(s);
        };
        if (withSite) Call(memory, {"/arc"}, 2, [&](TCallSettings& s) { options(s, "/site2"); });
        for (unsigned k = 1; k <= 3; ++k)
            Call(memory, {"/arc"}, 2, [&](TCallSettings& s) {
                options(s, withSite ? "/parts2" : "/parts");
                s.shard = TShard::Parse(std::to_string(k) + "/3");
            });
        const char* partsDir = withSite ? "/parts2" : "/parts";
        EXPECT_EQ(memory.Files(partsDir).count("index.htm"), 0u);
        EXPECT_EQ(Call(memory, {}, 1,
                       [&](TCallSettings& s) {
                           s.dir = partsDir;
                           s.indexOnly = true;
                       })
                      .status,
                  0);
        auto parts = memory.Files(partsDir);
        auto site = memory.Files(withSite ? "/site2" : "/site");
        // Every page has its record alike; only a whole call keeps the failures.
        std::erase_if(site, [](const auto& f) { return f.first.ends_with("/failures"); });
        EXPECT_EQ(Timeless(parts), Timeless(site)) << withSite;
        if (!withSite) {
            EXPECT_EQ(site.size(), whole.size() - 1);
        } else {
            for (const char* file : {"1a.$w", "sub/b.face.png", "sub/b.page.png"})
                EXPECT_EQ(site.count(file), 1u) << file;
        }
    }
}

// An archive of pages with pictures in two folders, and a document without a text part.
void MakeArchive(TMemoryPlatform& memory) {
    for (const char* name :
         {"/arc/a.$w", "/arc/b.$w", "/arc/c.$w", "/arc/sub/d.$w", "/arc/sub/e.$w"})
        memory.WriteFile(name, kDocument);
    memory.WriteFile("/arc/sub/g.$w", std::string(17, 'h'));
}

// A call interrupted at several moments, then --update: the site of one call, to the byte,
// records included. Interrupted by a cancel, the call still writes the index pages of what
// finished; a process that ends writes nothing more from that moment on.
TEST(ArchiveCall, AnInterruptedCallAndUpdateMakeTheSiteOfOneCall) {
    for (const bool withSite : {false, true}) {
        const auto options = [&](TCallSettings& s) {
            if (withSite) SiteOptions(s);
        };
        TMemoryPlatform reference;
        MakeArchive(reference);
        ASSERT_EQ(Call(reference, {"/arc"}, 2, options).status, 1);
        const auto whole = reference.Files("/site");
        struct Case {
            const char* what;
            std::string kind;  // files whose n-th put in place is the moment
            int n;
            bool cancel;  // else the process ends
        };
        const Case cases[] = {
            {"after the first document, by a cancel", "/.vornik2html/", 1, true},
            {"after the first document", "/.vornik2html/", 1, false},
            {"in the middle", "/.vornik2html/", 3, false},
            {"during the index pages", "index.htm", 1, false},
        };
        for (const Case& c : cases) {
            TMemoryPlatform memory;
            MakeArchive(memory);
            std::atomic<int> seen{0};
            memory.SetFault([&](TCall call, const std::string& path) {
                if (seen >= c.n && !c.cancel && call != TCall::Status && call != TCall::List &&
                    call != TCall::Remove)
                    return EIO;
                if (call == TCall::Rename && path.find(c.kind) != std::string::npos) ++seen;
                return 0;
            });
            Call(memory, {"/arc"}, c.cancel ? 1 : 2, options, [&] { return seen >= c.n; });
            memory.SetFault({});
            const auto cut = memory.Files("/site");
            EXPECT_LT(cut.size(), whole.size()) << c.what;
            // Every page in place has its record; no temporary file is left.
            for (const auto& [name, bytes] : cut) {
                EXPECT_FALSE(name.ends_with(".tmp")) << c.what << name;
                const size_t at = name.rfind('/') + 1;
                if (name.ends_with(".htm") && !name.ends_with("index.htm") &&
                    name.find(".vornik2html/") == std::string::npos) {
                    EXPECT_EQ(cut.count(name.substr(0, at) + ".vornik2html/" +
                                        name.substr(at, name.size() - at - 4) + ".rec"),
                              1u)
                        << c.what << name;
                }
            }
            if (c.cancel) {
                EXPECT_NE(cut.at("index.htm").find("href=\"a.htm\""), std::string::npos)
                    << withSite;
                EXPECT_EQ(cut.at("index.htm").find("href=\"b.htm\""), std::string::npos);
            }
            Call(memory, {"/arc"}, 2, [&](TCallSettings& s) {
                options(s);
                s.update = true;
            });
            EXPECT_EQ(Timeless(memory.Files("/site")), Timeless(whole)) << c.what << withSite;
        }
    }
}

// Each document's status in a report (--report), as "INPUT status".
std::vector<std::string> Statuses(const std::string& report) {
    std::vector<std::string> statuses;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        statuses.push_back(json::Member(line, "input").value_or("?") + " " +
                           json::Member(line, "status").value_or("?"));
    return statuses;
}

// --update after a change (or none): what a dry run says it would do, that it writes
// nothing, what the update then does to each document, and the site it leaves, which is
// a whole call's on the archive as it is now (but for the files of a document that is
// gone and not pruned, which stay, unlisted).
TEST(ArchiveCall, UpdateMendsWhatChangedAndNothingElse) {
    struct Case {
        const char* what;
        std::function<void(TMemoryPlatform&)> change;
        std::function<void(TCallSettings&)> options;
        std::map<std::string, std::string> statuses;  // by INPUT, when not as before
        std::vector<std::string> kept = {};           // files that stay, unlisted
    };
    const auto update = [](TCallSettings& s) { s.update = true; };
    const Case cases[] = {
        {"nothing changed", [](TMemoryPlatform&) {}, update, {}},
        {"a document changed",
         [](TMemoryPlatform& m) { m.WriteFile("/arc/b.$w", kDocument + "x"); },
         update,
         {{"/arc/b.$w", "converted"}}},
        {"a picture deleted",
         [](TMemoryPlatform& m) { m.Remove("/site/sub/1d.png"); },
         update,
         {{"/arc/sub/d.$w", "converted"}}},
        {"a record deleted",
         [](TMemoryPlatform& m) { m.Remove("/site/.vornik2html/c.rec"); },
         update,
         {{"/arc/c.$w", "recorded"}}},
        {"other options",
         [](TMemoryPlatform&) {},
         [](TCallSettings& s) {
             s.update = true;
             s.run.Html5 = true;
         },
         {{"/arc/a.$w", "converted"},
          {"/arc/b.$w", "converted"},
          {"/arc/c.$w", "converted"},
          {"/arc/sub/d.$w", "converted"},
          {"/arc/sub/e.$w", "converted"}}},
        {"a failure tried again",
         [](TMemoryPlatform&) {},
         [](TCallSettings& s) {
             s.update = true;
             s.retryFailed = true;
         },
         {{"/arc/sub/g.$w", "failed"}}},
        {"a failed document changed",
         [](TMemoryPlatform& m) { m.WriteFile("/arc/sub/g.$w", std::string(17, 'i')); },
         update,
         {{"/arc/sub/g.$w", "failed"}}},
        {"a failed document mended",
         [](TMemoryPlatform& m) { m.WriteFile("/arc/sub/g.$w", kDocument); },
         update,
         {{"/arc/sub/g.$w", "converted"}}},
        {"a failed document gone",
         [](TMemoryPlatform& m) { m.Remove("/arc/sub/g.$w"); },
         update,
         {{"/arc/sub/g.$w", ""}}},
        {"a document gone",
         [](TMemoryPlatform& m) { m.Remove("/arc/b.$w"); },
         update,
         {{"/arc/b.$w", "gone"}},
         {"1b.png", "b.htm", ".vornik2html/b.rec"}},
        {"a document gone, pruned",
         [](TMemoryPlatform& m) { m.Remove("/arc/b.$w"); },
         [](TCallSettings& s) {
             s.update = true;
             s.prune = true;
         },
         {{"/arc/b.$w", "pruned"}}},
    };
    // What a dry run says of what the run then does (it cannot foresee a failure).
    const std::map<std::string, std::string> planned = {
        {"converted", "convert"}, {"recorded", "compare"}, {"up to date", "up to date"},
        {"skipped", "skip"},      {"failed", "convert"},   {"gone", "unlist"},
        {"pruned", "prune"}};
    for (const Case& c : cases) {
        TMemoryPlatform memory;
        MakeArchive(memory);
        ASSERT_EQ(Call(memory, {"/arc"}, 2).status, 1);
        c.change(memory);
        std::vector<std::string> want, plan;
        std::string gone;
        for (const char* input : {"/arc/a.$w", "/arc/b.$w", "/arc/c.$w", "/arc/sub/d.$w",
                                  "/arc/sub/e.$w", "/arc/sub/g.$w"}) {
            const auto it = c.statuses.find(input);
            const std::string status = it != c.statuses.end()                 ? it->second
                                       : std::string(input).ends_with("g.$w") ? "skipped"
                                                                              : "up to date";
            if (status.empty()) continue;  // no longer there, and had no page
            (status == "gone" || status == "pruned" ? gone : want.emplace_back()) =
                std::string(input) + " " + status;
        }
        if (!gone.empty()) want.push_back(gone);
        for (const std::string& w : want)
            plan.push_back(w.substr(0, w.find(' ')) + " " + planned.at(w.substr(w.find(' ') + 1)));
        // A dry run writes nothing.
        const auto before = memory.Files("/");
        std::mutex lock;
        std::vector<std::string> writes;
        memory.SetFault([&](TCall call, const std::string& path) {
            std::lock_guard<std::mutex> guard(lock);
            if (call == TCall::Write || call == TCall::Rename || call == TCall::Remove ||
                call == TCall::MakeFolder)
                writes.push_back(path);
            return 0;
        });
        const auto dry = [&](TCallSettings& s) {
            c.options(s);
            s.dryRun = true;
        };
        EXPECT_EQ(Call(memory, {"/arc"}, 2, dry).status, 0) << c.what;
        EXPECT_EQ(writes, std::vector<std::string>{"/dev/stdout"}) << c.what;
        EXPECT_EQ(memory.Files("/"), before) << c.what;
        memory.SetFault({});
        std::vector<std::string> printed;
        std::istringstream lines(memory.StandardOutput());
        for (std::string line; std::getline(lines, line) && !line.starts_with("dry run: ");) {
            const size_t colon = line.find(": ", line.find(" -> "));
            printed.push_back(line.substr(0, line.find(" -> ")) + " " +
                              line.substr(colon + 2, line.find(" (", colon) - colon - 2));
        }
        EXPECT_EQ(printed, plan) << c.what;

        const auto report = [&](TCallSettings& s) {
            c.options(s);
            s.report = "/report";
        };
        writes.clear();
        memory.SetFault([&](TCall call, const std::string& path) {
            std::lock_guard<std::mutex> guard(lock);
            if ((call == TCall::Rename || call == TCall::Remove || call == TCall::MakeFolder) &&
                path != "/report")
                writes.push_back(path);
            return 0;
        });
        Call(memory, {"/arc"}, 2, report);
        memory.SetFault({});
        EXPECT_EQ(Statuses(memory.ReadFile("/report")), want) << c.what;
        // With nothing changed nothing is written, not even an index page.
        if (c.statuses.empty()) {
            EXPECT_EQ(writes, std::vector<std::string>{}) << c.what;
        }
        // A whole call of the archive as it is now, on the same clock's files.
        Call(memory, {"/arc"}, 2, [&](TCallSettings& s) {
            c.options(s);
            s.update = false;
            s.dir = "/whole";
        });
        auto site = memory.Files("/site");
        for (const std::string& file : c.kept) EXPECT_EQ(site.erase(file), 1u) << c.what << file;
        EXPECT_EQ(site, memory.Files("/whole")) << c.what;
    }
}

}  // namespace
}  // namespace quill
