#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/PageRender.h"
#include "convert/RunSeams.h"
#include "platform/Platform.h"

namespace quill {

class TStagedFiles;
struct TCallSettings;

// The files an archive's site keeps beside a page besides its pictures: the original
// document (--originals), the page's face for its index row (--thumbnails,
// NAME.face.png) and the whole page as one picture (--render, NAME.page.png). Staged
// with the page, so that they are in place with it or not at all.
struct TSiteFiles {
    bool Originals = false;
    bool Thumbnails = false;
    bool Render = false;
    TPageLook Look;  // how the page looks, for its face and its whole picture

    bool Any() const { return Originals || Thumbnails || Render; }

    // The files the call's options give the page of document, and how the page looks.
    static TSiteFiles Of(const TCallSettings& settings, const std::string& document);

    static std::string FaceName(std::string_view baseName);
    static std::string RenderName(std::string_view baseName);
    // Whether name is the face or whole picture of some page.
    static bool IsFaceName(std::string_view name);
    static bool IsRenderName(std::string_view name);

    // The names of the files document (a path) gets beside its page in folder, in the
    // order Stage stages them.
    std::vector<std::string> Names(const std::string& document) const;

    // Stages the files of document beside its page in folder; answers each file's path
    // and where it is staged. The original is not copied where it is the document itself
    // (an archive written into its own folder): it is staged nowhere (Path ""). Fails
    // with EInOutError.
    std::vector<TWrittenFile> Stage(TStagedFiles& files, const std::string& document,
                                    const std::string& folder, TPlatform& platform,
                                    std::string* firstLine = nullptr) const;
};

// The first line of a document's text that shows something, in UTF-8 as the page shows
// it, without its codes, cut at 120 characters: what its index row says of it.
std::string FirstTextLine(std::string_view document, bool skipHeader);

}  // namespace quill
