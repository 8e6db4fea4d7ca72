#include "archive/SiteFiles.h"

#include "archive/CallSettings.h"

#include "convert/DocumentNames.h"
#include "convert/LineRules.h"
#include "convert/PageFace.h"
#include "platform/CodePages.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"
#include "platform/StagedFiles.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

constexpr std::string_view kFaceEnd = ".face.png";
constexpr std::string_view kRenderEnd = ".page.png";
constexpr size_t kHeaderSize = 17;
constexpr size_t kLongestLine = 120;

TWrittenFile Put(TPlatform& platform, TStagedFiles& files, const std::string& path,
                 std::string_view bytes) {
    TWrittenFile file{path, files.Stage(path)};
    WriteWholeFile(platform, path, file.Path, bytes);
    return file;
}

std::string_view Bytes(const std::vector<uint8_t>& png) {
    return {reinterpret_cast<const char*>(png.data()), png.size()};
}

}  // namespace

std::string TSiteFiles::FaceName(std::string_view baseName) {
    return std::string(baseName).append(kFaceEnd);
}

std::string TSiteFiles::RenderName(std::string_view baseName) {
    return std::string(baseName).append(kRenderEnd);
}

bool TSiteFiles::IsFaceName(std::string_view name) {
    return name.size() > kFaceEnd.size() && name.ends_with(kFaceEnd);
}

bool TSiteFiles::IsRenderName(std::string_view name) {
    return name.size() > kRenderEnd.size() && name.ends_with(kRenderEnd);
}

std::vector<std::string> TSiteFiles::Names(const std::string& document) const {
    const std::string base = names::DeriveNames(document).BaseName;
    std::vector<std::string> out;
    if (Thumbnails) out.push_back(FaceName(base));
    if (Render) out.push_back(RenderName(base));
    if (Originals) out.emplace_back(names::FileName(document));
    return out;
}

std::vector<TWrittenFile> TSiteFiles::Stage(TStagedFiles& files, const std::string& document,
                                            const std::string& folder, TPlatform& platform,
                                            std::string* firstLine) const {
    std::string bytes;
    if (!ReadWholeFile(platform, document, bytes)) {
        const std::string reason = "it cannot be read again";
        throw EInOutError("Cannot read \"" + document + "\": " + reason, document, reason);
    }
    std::vector<TWrittenFile> staged;
    const std::string base = names::DeriveNames(document).BaseName;
    if (Thumbnails) {
        staged.push_back(Put(platform, files, names::Join(folder, FaceName(base)),
                             Bytes(ThumbnailPng(bytes, Look))));
        if (firstLine) *firstLine = FirstTextLine(bytes, Look.SkipHeader);
    }
    if (Render)
        staged.push_back(Put(platform, files, names::Join(folder, RenderName(base)),
                             Bytes(RenderedPagePng(bytes, Look))));
    if (Originals) {
        const std::string copy = names::Join(folder, names::FileName(document));
        // Written into its own folder, the document is its own original.
        if (SameFile(copy, document, platform))
            staged.push_back({copy, ""});
        else
            staged.push_back(Put(platform, files, copy, bytes));
    }
    return staged;
}

std::string FirstTextLine(std::string_view document, bool skipHeader) {
    if (skipHeader) document.remove_prefix(std::min(document.size(), kHeaderSize));
    // The text part ends at its first byte 0; pictures follow.
    document = document.substr(0, document.find('\0'));
    while (!document.empty()) {
        // A line ends at CR; an LF inside it shows nothing.
        const size_t end = document.find('\r');
        const std::string_view line = document.substr(0, end);
        // A picture's row shows no text.
        const bool picture =
            line.size() >= 2 &&
            lines::IsPictureLine(static_cast<uint8_t>(line[0]), static_cast<uint8_t>(line[1]));
        std::string text;
        size_t shown = 0, visible = 0;
        for (const char c : line) {
            const auto b = static_cast<uint8_t>(c);
            // Colour codes and LF show nothing; other control bytes a space.
            if (b < 32 && b != '\t') {
                if (b > 8 && b != '\n') text += ' ';
                continue;
            }
            if (shown++ == kLongestLine) break;
            if (b == '\t' || b == ' ' || b == 0xFF) {
                text += ' ';
                continue;
            }
            // As the page shows it: 127 is a copyright sign there.
            text += b == 127 ? std::string("\u00a9") : codepage::Utf8(codepage::Cp866(b));
            ++visible;
        }
        if (visible > 0 && !picture) {
            const size_t first = text.find_first_not_of(' ');
            const size_t last = text.find_last_not_of(' ');
            return text.substr(first, last - first + 1);
        }
        if (end == std::string_view::npos) break;
        document.remove_prefix(end + 1);
    }
    return {};
}

TSiteFiles TSiteFiles::Of(const TCallSettings& s, const std::string& document) {
    TSiteFiles site;
    site.Originals = s.originals;
    site.Thumbnails = s.thumbnails;
    site.Render = s.render;
    site.Look.ColourSpans = s.colors || s.style == TPageStyle::Quillo;
    site.Look.Pitch42 = s.pitch42;
    site.Look.Scale = s.run.Html5 ? s.run.Scale : 0;
    site.Look.SkipHeader = s.run.SkipHeader || names::DeriveNames(document).SkipHeader;
    return site;
}

}  // namespace quill
