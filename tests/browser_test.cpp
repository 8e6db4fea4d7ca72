// The pages as a browser shows them. Headless Chromium renders classic and modern pages
// of one document, with pictures, in both markup families and with --embed: the text it
// shows must be the document's text, every picture must load at its natural 256-pixel
// width, and an embedded page must need no other file. Modern pages also pass tidy's
// HTML5 check. Skipped where Chromium cannot start.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "convert/MarkupNames.h"
#include "convert/PictureStore.h"
#include "support/LibpngDecode.h"
#include "support/LocalServer.h"
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

// Headless Chromium in a fresh profile inside the test's folder, with more arguments.
std::string Chromium(const std::string& profile, const std::string& args) {
    return std::string(kChromium) +
           " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
           " --disable-background-networking --disable-component-update --disable-sync"
           " --user-data-dir='" +
           profile + "' " + args;
}

// The DOM of the page at address once loaded, as --dump-dom prints it.
std::string Dom(const std::string& address, const std::string& profile,
                const std::string& args = "") {
    const std::string dump = profile + ".dump";
    Shell(Chromium(profile, args + " --dump-dom '" + address + "' > '" + dump + "' 2>/dev/null"));
    const std::string dom = test::ToString(test::ReadFileBytes(dump));
    std::filesystem::remove(dump);
    return dom;
}

// The page with the probe appended, rendered in a fresh profile inside the test's folder.
TShown Show(const std::string& page, const std::string& profile) {
    std::ofstream(page, std::ios::app) << kProbe;
    const std::string dom = Dom("file://" + page, profile);
    TShown shown;
    shown.started = dom.find("<html") != std::string::npos;
    const size_t start = dom.find("<textarea id=\"probe\">");
    if (start == std::string::npos) return shown;
    std::istringstream words(dom.substr(start + 21, dom.find("</textarea>") - start - 21));
    std::string word;
    while (words >> word) {
        if (word == "TEXT") {
            words >> shown.text;
            shown.text = names::PercentDecoded(shown.text);
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

// What a phone's screen shows of the sample. In the modern page every picture is whole,
// scaled down and still crisp (each pixel one of the pictures' sixteen colours), the text
// keeps its size in a block that scrolls sideways, and the page itself is no wider than
// the screen. The classic page, which stays as it was, cuts its pictures and smooths them
// (the sun of the first is off the screen): the checks that tell them apart. The layout
// is probed in the narrowest window headless Chromium lays out (500 pixels, still
// narrower than a picture), the pixels taken from a screenshot 390 pixels wide, of the
// page as a phone gets it: over HTTP.
TEST(Browser, APhoneShowsEveryPictureWholeAndEveryLine) {
    for (const char* program : {kChromium, "/usr/bin/python3"})
        if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is not installed";
    const char* const probe = R"(<script>
addEventListener('load', () => {
  const pre = document.querySelector('pre'), out = document.createElement('textarea');
  const pictures = [];
  for (const i of document.images) {
    const r = i.getBoundingClientRect();
    pictures.push(r.left, r.top, r.right, i.naturalWidth, i.naturalHeight);
  }
  pre.append('\n' + 'x'.repeat(100));  // a line wider than any screen
  pre.scrollLeft = 50;
  const words = [innerWidth, document.documentElement.scrollWidth, pre.scrollLeft,
                 parseFloat(getComputedStyle(pre).fontSize)].concat(pictures);
  out.id = 'probe';
  out.textContent = words.join(' ');
  document.body.appendChild(out);
});
</script>
)";
    struct Case {
        std::string args;
        bool modern;
    };
    const Case cases[] = {{"--html5", true}, {"", false}};
    const std::string tool = std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    const std::string sample = std::string(QUILL_SOURCE_DIR) + "/examples/obzor.$w";
    const std::string phone =
        "--hide-scrollbars --force-device-scale-factor=1 --window-size=390,844";
    for (const Case& c : cases) {
        TempDir dir;
        ASSERT_EQ(Shell("'" + tool + "' -q " + c.args + " -d '" + dir.Path().string() + "' '" +
                        sample + "'"),
                  0);
        const std::string page = dir.File("obzor.htm"), probed = dir.File("probed.htm");
        std::filesystem::copy_file(page, probed);
        std::ofstream(probed, std::ios::app) << probe;
        const test::TLocalServer server(dir.Path().string());
        ASSERT_NE(server.Root(), "") << "python3 -m http.server did not start";
        const std::string dom = Dom(server.Root() + "/probed.htm", dir.File("profile"), phone);
        if (dom.find("<html") == std::string::npos) GTEST_SKIP() << "Chromium cannot start here";
        const size_t start = dom.find("<textarea id=\"probe\">");
        ASSERT_NE(start, std::string::npos) << c.args;
        std::istringstream in(dom.substr(start + 21));
        double width = 0, pageWidth = 0, scrolled = 0, fontSize = 0;
        in >> width >> pageWidth >> scrolled >> fontSize;
        ASSERT_LT(width, 640) << c.args;
        EXPECT_EQ(fontSize, 17) << c.args;
        // A line goes on past the screen: within its block, which scrolls, or the page's.
        EXPECT_EQ(pageWidth <= width, c.modern) << c.args;
        EXPECT_EQ(scrolled > 0, c.modern) << c.args;
        struct TPicture {
            double Left, Top, Right, NaturalWidth, NaturalHeight;
        };
        std::vector<TPicture> pictures;
        for (TPicture p; in >> p.Left >> p.Top >> p.Right >> p.NaturalWidth >> p.NaturalHeight;)
            pictures.push_back(p);
        ASSERT_EQ(pictures.size(), 4u) << c.args;  // one of the three is shown twice
        for (const TPicture& p : pictures)
            EXPECT_EQ(p.Left >= 0 && p.Right <= width, c.modern) << c.args;

        const std::string shot = dir.File("shot.png");
        Shell(Chromium(dir.File("profile"), phone + " --screenshot='" + shot + "' '" +
                                                server.Root() + "/obzor.htm' 2>/dev/null"));
        const test::TDecodedPng png =
            test::DecodeWithLibpng(shot, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_ALPHA);
        ASSERT_EQ(png.Width, 390u);
        // The first picture where 390 pixels put it: as wide as the screen lets it be (the
        // modern page), or 640 pixels (the classic page); inside it, as far as the screen
        // shows it, only the pictures' colours.
        const TPicture& p = pictures[0];
        const double shown = c.modern ? 390 - 2 * p.Left : 640;
        const int bottom = static_cast<int>(p.Top + shown * p.NaturalHeight / p.NaturalWidth);
        size_t odd = 0, sun = 0;
        for (int y = static_cast<int>(p.Top) + 2; y < std::min<int>(bottom - 1, png.Height); ++y)
            for (int x = static_cast<int>(p.Left) + 2; x < std::min(p.Left + shown, 390.0) - 2;
                 ++x) {
                const uint8_t* rgb = &png.Rows[y][3 * x];
                bool known = false;
                for (const TPaletteEntry& e : PaletteColours)
                    known =
                        known || (rgb[0] == e.peRed && rgb[1] == e.peGreen && rgb[2] == e.peBlue);
                odd += !known;
                sun += rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 0;
            }
        EXPECT_EQ(odd == 0, c.modern) << c.args << ": " << odd << " pixels of other colours";
        EXPECT_EQ(sun > 0, c.modern) << c.args << ": " << sun << " pixels of the sun";
    }
}

}  // namespace
}  // namespace quill
