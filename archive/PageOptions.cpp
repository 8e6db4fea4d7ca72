#include "archive/PageOptions.h"

namespace quill {

std::string PageOptions(const TCallSettings& s) {
    std::string words;
    const auto add = [&](const std::string& word) {
        if (!words.empty()) words += ' ';
        words += word;
    };
    const TRunSettings& run = s.run;
    // The second program's page is always in colour.
    if (s.colors && s.style == TPageStyle::Quilloc) add("--colors");
    if (s.pitch42) add("--pitch42");
    if (s.bmp) add("--bmp");
    if (s.style == TPageStyle::Quillo) add("--style quillo");
    if (run.Html5) {
        add("--html5");
        if (run.Scale != 0) add("--scale " + std::to_string(run.Scale));
        // BMP pictures are BMP pictures; the classic page's PNG files are its own.
        if (run.ClassicPictures && !s.bmp) add("--classic-pictures");
        if (!run.Lang.Empty()) add("--lang " + std::string(run.Lang.View()));
        // The title shows a name that is not UTF-8 by it.
        if (!run.NameEncoding.Name().empty())
            add("--name-encoding " + std::string(run.NameEncoding.Name()));
    }
    if (run.Embed) add("--embed");
    if (run.SkipHeader) add("--skip-header");
    // The files beside the page: a page recorded without them is not up to date with them.
    if (s.originals) add("--originals");
    if (s.thumbnails) add("--thumbnails");
    if (s.render) add("--render");
    return words;
}

}  // namespace quill
