// Search over a site: the text each page kind gives the index, the failures a user can
// meet, and a real browser that types a Russian word into the search box of a generated
// site served on 127.0.0.1 and follows the result to the page. The browser case is
// skipped where Chromium, Python or Pagefind (scripts/install-node-tools) is missing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/SearchIndex.h"
#include "convert/DocumentNames.h"
#include "platform/Base64.h"
#include "platform/ChildProcess.h"
#include "platform/Exception.h"
#include "platform/JsonText.h"
#include "support/ConvertSupport.h"
#include "support/LocalServer.h"
#include "support/SampleArchive.h"

namespace quill {
namespace {

using test::TempDir;

const std::string kPagefind = QUILL_NODE_DIR "/node_modules/.bin/pagefind";

TEST(SearchIndex, RecordsHoldWhatThePagesShow) {
    struct Case {
        std::string document;
        bool modern;
        std::string text;
        std::string language;
    };
    const Case cases[] = {
        {"\x8f\xe0\xa8\xa2\xa5\xe2 a<b>&~\x7f \"q\"\r\x02x\x08y\r\xff\x80\r", false,
         "Привет a<b>&~© \"q\"\n x y\n", "ru"},
        {"\x8f\xe0\xa8\xa2\xa5\xe2 a<b>&~\x7f \"q\"\r\x02x\x08y\r\xff\x80\r", true,
         "Привет a<b>&~© \"q\"\n x y\n", "ru"},
        {"\xb0\xc4 R&amp;D\x0b\t.\x05\r", false, "░─ R&D \t. \n", "en"},
        {"\xb0\xc4 R&amp;D\x0b\t.\x05\r", true, "░─ R&amp;D♂\t. \n", "en"},
        // Entities and letters where runs of plain bytes begin and end.
        {"&<>&\r\x80&\x80", false, "&<>&\nА&А", "ru"},
        {"&<>&\r\x80&\x80", true, "&<>&\nА&А", "ru"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto out =
            test::Convert(dir, c.document, {.colors = true, .run = {.Html5 = c.modern}});
        ASSERT_EQ(out.error, "");
        const TSearchIndex::TRecord r = TSearchIndex::RecordOf(out.page);
        EXPECT_EQ(r.Text, c.text) << c.modern << " " << testing::PrintToString(c.document);
        EXPECT_EQ(r.Language, c.language) << c.modern;
    }
}

// The service's framing: base64 as RFC 4648's own examples, JSON strings escaped, both
// added after what a buffer holds already.
TEST(SearchIndex, RequestsAreFramedAsTheServiceReadsThem) {
    const std::pair<std::string, std::string> rfc[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [bytes, text] : rfc) {
        std::string out = "x,";
        AppendBase64(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(out, "x," + text);
        EXPECT_EQ(Base64Decode(text), bytes);
    }
    std::string out = "{\"a\":";
    json::AppendQuoted(out, "q\"b\\c\x01\x1f\u00e9");
    EXPECT_EQ(out, "{\"a\":\"q\\\"b\\\\c\\u0001\\u001f\u00e9\"");
}

void SetPath(const std::string& value) {
#ifdef _WIN32
    _putenv_s("PATH", value.c_str());
#else
    ::setenv("PATH", value.c_str(), 1);
#endif
}

TEST(SearchIndex, FailuresSayWhatIsWrongAndKeepTheSite) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "pagefind");
    test::WriteFileBytes(dir.File("pagefind/mine.txt"), test::ToBytes("x"));
    const auto message = [&](const std::string& program) {
        try {
            TSearchIndex::Build(dir.Path().string(), program);
        } catch (const Exception& e) {
            return e.Message();
        }
        return std::string("no failure");
    };
    EXPECT_EQ(message(kPagefind), "Cannot write \"" + names::Join(dir.Path().string(), "pagefind") +
                                      "\": it is not a search index");
    std::filesystem::remove_all(dir.Path() / "pagefind");
    const char* const path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    SetPath(dir.Path().string());
    const std::string missing = message("");
    SetPath(saved);
    EXPECT_NE(missing.find("install it with \"npm install -g pagefind\""), std::string::npos)
        << missing;
    EXPECT_EQ(message(dir.File("none")).rfind("Cannot run \"" + dir.File("none") + "\"", 0), 0u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              0);  // nothing staged is left
}

#ifndef _WIN32
// Chromium driven through its DevTools protocol on a pipe (descriptors 3 and 4): typing
// is the browser's own text input, not a script setting a value.
class TBrowser {
  public:
    explicit TBrowser(const std::string& profile)
        : chromium_(
              "/usr/bin/chromium",
              {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"},
              3, 4) {}
    ~TBrowser() {
        try {
            Call("Browser.close", "{}");
        } catch (const Exception&) {
        }
    }
    void Open(const std::string& url) {
        const std::string target =
            json::Member(Call("Target.createTarget", "{\"url\":" + json::Quoted(url) + "}"),
                         "targetId")
                .value_or("");
        session_ =
            json::Member(Call("Target.attachToTarget",
                              "{\"targetId\":" + json::Quoted(target) + ",\"flatten\":true}"),
                         "sessionId")
                .value_or("");
    }
    void Type(const std::string& text) {
        Call("Input.insertText", "{\"text\":" + json::Quoted(text) + "}");
    }
    // The string expression's value once it is not empty, or "" after ten seconds.
    std::string WaitFor(const std::string& expression) {
        for (int i = 0; i < 200; ++i) {
            const std::string value =
                json::Member(
                    Call("Runtime.evaluate", "{\"expression\":" + json::Quoted(expression) +
                                                 ",\"returnByValue\":true}"),
                    "value")
                    .value_or("");
            if (!value.empty()) return value;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

  private:
    std::string Call(const std::string& method, const std::string& params) {
        const std::string id = std::to_string(++id_);
        std::string message =
            "{\"id\":" + id + ",\"method\":\"" + method + "\",\"params\":" + params;
        if (!session_.empty()) message += ",\"sessionId\":" + json::Quoted(session_);
        chromium_.Write(message + "}" + std::string(1, '\0'));
        for (;;) {
            const std::optional<std::string> answer = chromium_.ReadUntil('\0');
            if (!answer) return {};
            if (answer->rfind("{\"id\":" + id + ",", 0) == 0) return *answer;
        }
    }
    TChildProcess chromium_;
    std::string session_;
    int id_ = 0;
};

TEST(SearchIndex, ABrowserFindsRussianWordsInOtherFormsInBothPageKinds) {
    for (const char* program : {"/usr/bin/chromium", "/usr/bin/python3"})
        if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is not installed";
    if (!std::filesystem::exists(kPagefind))
        GTEST_SKIP() << kPagefind << " is missing (scripts/install-node-tools needs npm)";
    TempDir dir;
    test::WriteSampleArchive(dir.Path());
    const std::string tool = std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    // The site as a user makes it: the search index and its box by the call that ends.
    const std::string path = std::filesystem::path(kPagefind).parent_path().string();
    for (const char* options : {"--html5 -d site/modern", "--search -d site"})
        ASSERT_EQ(std::system(("cd '" + dir.Path().string() + "' && PATH='" + path +
                               "':\"$PATH\" '" + tool + "' -q " + options + " archive")
                                  .c_str()),
                  0);
    const std::string site = dir.File("site");
    EXPECT_NE(
        test::ToString(test::ReadFileBytes(site + "/index.htm")).find(TSearchIndex::SearchBox("")),
        std::string::npos);
    EXPECT_EQ(TSearchIndex::Build(site, kPagefind), 10);

    const test::TLocalServer server(site);
    const std::string& root = server.Root();
    ASSERT_NE(root, "") << "python3 -m http.server did not start";
    TBrowser browser(dir.File("profile"));
    browser.Open(root + "/index.htm");
    if (browser.WaitFor("document.querySelector('.pagefind-ui__search-input') ? 'yes' : ''")
            .empty())
        GTEST_SKIP() << "Chromium cannot start here, or the search box did not load";
    browser.WaitFor("document.querySelector('.pagefind-ui__search-input').focus() || 'yes'");
    browser.Type("поездом");  // the page says "поезда"
    // Results come in one by one: both pages, once both have come.
    const std::string results = browser.WaitFor(
        "(() => { const l = [...document.querySelectorAll('.pagefind-ui__result-link')].map("
        "a => a.getAttribute('href')); return l.length >= 2 ? l.sort().join(' ') : ''; })()");
    EXPECT_EQ(results, "/modern/obzor.htm /obzor.htm");
    browser.WaitFor("document.querySelector('.pagefind-ui__result-link').click() || 'yes'");
    const std::string shown =
        browser.WaitFor("location.pathname.endsWith('obzor.htm') ? document.body.innerText : ''");
    EXPECT_NE(shown.find("Мы долго ждали поезда."), std::string::npos) << shown;
}

#endif

}  // namespace
}  // namespace quill
