// The pages as a browser shows them. Headless Chromium renders classic and modern pages
// of one document, with pictures, in both markup families and with --embed: the text it
// shows must be the document's text, every picture must load at its natural 256-pixel
// width, and an embedded page must need no other file. Modern pages also pass tidy's
// HTML5 check. Skipped where Chromium cannot start.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using test::TempDir;

const char* const kChromium = "/usr/bin/chromium";

// Reports the pre's text and each picture, once everything has loaded, into the DOM
// that --dump-dom prints: plain ASCII, so no page encoding can change it.
const char* const kProbe = R"(<script>
addEventListener('load', () => {
  const lines = ['TEXT ' + encodeURIComponent(document.querySelector('pre').innerText)];
  for (const i of document.images)
    lines.push('IMG ' + i.naturalWidth + ' ' + i.complete + ' ' + i.src.slice(0, 5));
  const out = document.createElement('textarea');
  out.id = 'probe';
  out.textContent = lines.join(' ');
  document.body.appendChild(out);
});
</script>
)";

int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

struct TShown {
    bool started = false;  // Chromium printed a document at all
    std::string text;
    std::vector<std::string> images;  // "WIDTH COMPLETE SCHEME"
};

// The page with the probe appended, rendered in a fresh profile inside the test's folder.
TShown Show(const std::string& page, const std::string& profile) {
    std::ofstream(page, std::ios::app) << kProbe;
    const std::string dump = page + ".dump";
    Shell(std::string(kChromium) +
          " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
          " --disable-background-networking --disable-component-update --disable-sync"
          " --user-data-dir='" +
          profile + "' --dump-dom 'file://" + page + "' > '" + dump + "' 2>/dev/null");
    const std::string dom = test::ToString(test::ReadFileBytes(dump));
    std::filesystem::remove(dump);
    TShown shown;
    shown.started = dom.find("<html") != std::string::npos;
    const size_t start = dom.find("<textarea id=\"probe\">");
    if (start == std::string::npos) return shown;
    std::istringstream words(dom.substr(start + 21, dom.find("</textarea>") - start - 21));
    std::string word;
    while (words >> word) {
        if (word == "TEXT") {
            words >> shown.text;
            shown.text = test::PercentDecoded(shown.text);
        } else if (word == "IMG") {
            std::string complete, scheme;
            words >> word >> complete >> scheme;
            shown.images.push_back(word + " " + complete + " " + scheme);
        }
    }
    return shown;
}

TEST(Browser, PagesShowTheDocumentsTextAndPictures) {
    if (!std::filesystem::exists(kChromium)) GTEST_SKIP() << kChromium << " is not installed";
    TempDir dir;
    // cp866: "Привет, мир!" and box drawing; codes; a line colour; a picture of two rows.
    const std::string common =
        "\x8f\xe0\xa8\xa2\xa5\xe2, \xac\xa8\xe0! \xb0\xc4\xdb a<b>c \x7f\r\x02red\x08 plain "
        "\x05"
        "cyan\rwhole\x03\r\xff\x80\r\xff\x81\r";
    const std::string shownCommon = "Привет, мир! ░─█ a<b>c ©\n red  plain  cyan\nwhole \n\n";
    // What only the modern page shows as it is.
    const std::string modernOnly = "R&D &copy; \"q\" ~ \x0b\x1b tab\t.\r";
    const std::string shownModernOnly = "R&D &copy; \"q\" ~ ♂← tab\t.\n";
    const std::string end = "end\r"s + '\0' + std::string(576, '\x5a');
    test::WriteFileBytes(dir.File("classic.txt"), test::ToBytes(common + end));
    test::WriteFileBytes(dir.File("modern.txt"), test::ToBytes(common + modernOnly + end));

    struct Case {
        std::string folder;
        std::string args;
        bool modern;
        bool embed;
    };
    const Case cases[] = {
        {"classic", "--colors classic.txt", false, false},
        {"classic-embed", "--embed classic.txt", false, true},
        {"modern-embed", "--html5 --colors --embed modern.txt", true, true},
        {"modern", "--html5 --style quillo --bmp --scale 1 modern.txt", true, false},
    };
    const std::string tool = std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    std::vector<std::future<TShown>> shown;
    for (const Case& c : cases) {
        const std::string page = dir.File(c.folder + "/page.htm");
        std::filesystem::create_directory(dir.Path() / c.folder);
        ASSERT_EQ(Shell("cd '" + dir.Path().string() + "' && '" + tool + "' -q -o '" + page + "' " +
                        c.args),
                  0)
            << c.args;
        size_t files = 0;
        for ([[maybe_unused]] const auto& e :
             std::filesystem::directory_iterator(dir.Path() / c.folder))
            ++files;
        EXPECT_EQ(files, c.embed ? 1u : 2u)
            << c.args;  // the page, and a picture file unless embedded
        if (c.modern && std::filesystem::exists("/usr/bin/tidy")) {
            EXPECT_EQ(Shell("tidy -q -e '" + page + "' > /dev/null 2>&1"), 0) << "tidy: " << c.args;
        }
        shown.push_back(
            std::async(std::launch::async, Show, page, dir.File(c.folder + "-profile")));
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        const Case& c = cases[i];
        const TShown s = shown[i].get();
        if (!s.started) GTEST_SKIP() << "Chromium cannot start here (" << kChromium << ")";
        EXPECT_EQ(s.text, shownCommon + (c.modern ? shownModernOnly : "") + "end\n\n") << c.args;
        ASSERT_EQ(s.images.size(), 1u) << c.args;
        EXPECT_EQ(s.images[0], "256 true "s + (c.embed ? "data:" : "file:")) << c.args;
    }
}

}  // namespace
}  // namespace quill
