// Whole calls in this process, on the memory platform: what each call leaves behind and
// what it says, for faults no real file system gives on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "archive/ArchiveCall.h"
#include "convert/DocumentNames.h"
#include "platform/MemoryPlatform.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using TCall = TMemoryPlatform::TCall;

// Every line a call would print, failures as "DOCUMENT: reason".
class TRecordingWatch : public TCallWatch {
  public:
    bool Cancelled() override { return false; }
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
              const std::function<void(TCallSettings&)>& more = {}) {
    TCallSettings settings;
    settings.inputs = std::move(inputs);
    settings.dir = "/site";
    settings.jobs = jobs;
    settings.platform = &memory;
    TRecordingWatch watch;
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
          "Cannot write \"/site/index.htm\": No space left on device",
          "Cannot write \"/site/sub/index.htm\": No space left on device"}},
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
            // No temporary file is left; a failed document keeps its earlier files.
            const auto after = memory.Files("/site");
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

    // Three shares and the index pages once make the site of one run.
    for (unsigned k = 1; k <= 3; ++k)
        Call(memory, {"/arc"}, 2, [&](TCallSettings& s) {
            s.dir = "/parts";
            s.shard = TShard::Parse(std::to_string(k) + "/3");
        });
    EXPECT_EQ(memory.Files("/parts").count("index.htm"), 0u);
    EXPECT_EQ(Call(memory, {}, 1,
                   [](TCallSettings& s) {
                       s.dir = "/parts";
                       s.indexOnly = true;
                   })
                  .status,
              0);
    auto parts = memory.Files("/parts");
    auto site = memory.Files("/site");
    // The record files differ by name only: one per share.
    std::erase_if(parts, [](const auto& f) {
        return f.first.find(".vornik2html-pages") != std::string::npos;
    });
    std::erase_if(site, [](const auto& f) {
        return f.first.find(".vornik2html-pages") != std::string::npos;
    });
    EXPECT_EQ(parts, site);
    EXPECT_EQ(site.size(), whole.size() - 2);
}

}  // namespace
}  // namespace quill
