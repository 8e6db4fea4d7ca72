// The pages as the Nu Html Checker (vnu, the checker behind the W3C's validator) sees
// them: every modern page and every index page of a generated archive, in both markup
// families, passes with no error. Skipped where Java or the checker is missing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/SearchIndex.h"
#include "support/SampleArchive.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(HtmlChecker, ModernAndIndexPagesHaveNoErrors) {
    const std::string vnu = QUILL_NODE_DIR "/node_modules/vnu-jar/build/dist/vnu.jar";
    if (Shell("java -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Java is not installed (Debian: default-jre-headless)";
    if (!std::filesystem::exists(vnu))
        GTEST_SKIP() << vnu << " is missing (scripts/install-node-tools needs npm)";
    test::TempDir dir;
    test::WriteSampleArchive(dir.Path());
    const std::string tool = std::string(QUILL_BINARY_DIR) + "/tools/vornik2html";
    const std::string site = dir.File("site");
    // The site's options too: the pages' bars, the index rows' faces, links and totals,
    // and (where Pagefind is) the search box the call puts there itself.
    const std::string pagefind = QUILL_NODE_DIR "/node_modules/.bin";
    const std::string search =
        std::filesystem::exists(pagefind + "/pagefind") ? " --search" : std::string();
    for (const std::string& options :
         {std::string("--colors -d site/dark"), std::string("-d site/light"),
          "--originals --thumbnails --render" + search + " -d site/full"})
        ASSERT_EQ(Shell("cd '" + dir.Path().string() + "' && PATH='" + pagefind + "':\"$PATH\" '" +
                        tool + "' -q --html5 " + options + " archive"),
                  0)
            << options;
    // The search box as index pages will hold it.
    const std::string index = site + "/dark/index.htm";
    std::string html = test::ToString(test::ReadFileBytes(index));
    html.insert(html.rfind("</body>"), TSearchIndex::SearchBox(""));
    test::WriteFileBytes(index, test::ToBytes(html));

    std::string pages;
    size_t count = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(site))
        if (e.path().extension() == ".htm" &&
            e.path().string().find("/pagefind/") == std::string::npos) {
            pages += " '" + e.path().string() + "'";
            ++count;
        }
    EXPECT_EQ(count, 3u * (5 + 3));  // five documents and three folders, three times
    const std::string report = dir.File("vnu.txt");
    const int status = Shell("java -jar '" + vnu + "' --errors-only --format gnu" + pages +
                             " 2> '" + report + "'");
    EXPECT_EQ(status, 0) << test::ToString(test::ReadFileBytes(report));
}

}  // namespace
}  // namespace quill
