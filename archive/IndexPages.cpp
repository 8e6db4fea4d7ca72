#include "archive/IndexPages.h"

#include <algorithm>
#include <vector>

#include "archive/NaturalOrder.h"
#include "archive/PageRecords.h"
#include "convert/DocumentNames.h"
#include "convert/MarkupNames.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"
#include "platform/StagedFiles.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

constexpr const char* kIndexName = TIndexPages::kIndexName;
// Marks the indexes this system writes, and so may write again.
constexpr const char* kGenerator = "<meta name=\"generator\" content=\"vornik2html\">\n";

constexpr const char* kHead =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
constexpr const char* kTitle = "<title>";
constexpr const char* kStyle =
    "</title>\n"
    "<style>\n"
    "body{font-family:sans-serif;margin:0 auto;padding:0 .8em;max-width:48em;line-height:1.4}\n"
    "ul{list-style:none;margin:0;padding:0}\n"
    "li{display:flex;align-items:center;gap:.8em;padding:.4em 0;border-bottom:1px solid "
    "#ddd}\n"
    ".t{flex:none;width:128px;image-rendering:pixelated}\n"

    "small{color:#555}\n"
    "</style>\n"
    "</head>\n"
    "<body>\n";
constexpr const char* kFoot = "</body>\n</html>\n";

// Names as links: the modern page's rules.
std::string Link(const std::string& s) {
    return names::AddressOf(s);
}

// 1234567 as "1,234,567".
std::string Grouped(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// What building the indexes of one site holds throughout.
struct TBuild {
    TPlatform& platform;
    const names::TNameEncoding& encoding;
    std::vector<std::string>& failures;
    TFileKeys keys;  // of every index, so that each folder is resolved once
    int written = 0;
};

std::string IndexHtml(const names::TNameEncoding& encoding, const std::string& relative,
                      const std::vector<std::string>& folders,
                      const std::vector<TPageRecord>& pages) {
    // Names as the page shows them: the modern page's rules.
    const auto shown = [&](const std::string& s) { return names::HtmlText(encoding.Shown(s)); };
    std::string title = "/" + relative;
    std::string html = kHead + std::string(kGenerator) + kTitle + shown(title) + kStyle;
    html += "<h1>" + shown(title) + "</h1>\n";
    if (!relative.empty()) html += "<p><a href=\"../index.htm\">Up one folder</a></p>\n";
    if (!folders.empty()) {
        html += "<h2>Folders</h2>\n<ul>\n";
        for (const std::string& f : folders)
            html += "<li><a href=\"" + Link(f) + "/index.htm\">" + shown(f) + "/</a></li>\n";
        html += "</ul>\n";
    }
    if (!pages.empty()) {
        html += "<h2>Pages</h2>\n<ul>\n";
        for (const TPageRecord& r : pages) {
            html += "<li>";
            if (r.FirstPicture.empty())
                html += "<div class=\"t\"></div>";
            else
                html += "<img class=\"t\" src=\"" + Link(r.FirstPicture) + "\" alt=\"\">";
            const std::string& name = r.Document.empty() ? r.Page : r.Document;
            html += "<div><a href=\"" + Link(r.Page) + "\">" + shown(name) + "</a><br><small>";
            if (!r.Document.empty()) {
                html += Grouped(r.Size) + (r.Size == 1 ? " byte, " : " bytes, ");
                html += r.Pictures == 0 ? std::string("no pictures")
                        : r.Pictures == 1
                            ? std::string("1 picture")
                            : Grouped(static_cast<uint64_t>(r.Pictures)) + " pictures";
            }
            html += "</small></div></li>\n";
        }
        html += "</ul>\n";
    }
    return html + kFoot;
}

// An index.htm that is not one of ours: someone's own page, never to be replaced.
bool IsForeign(TPlatform& platform, const std::string& path) {
    if (platform.Status(path).IsFolder()) return true;
    std::string head;
    if (!ReadWholeFile(platform, path, head, 2048) && head.empty()) return false;
    return head.find(kGenerator) == std::string::npos;
}

void WriteIndex(TBuild& b, const std::string& folder, const std::string& html) {
    TPlatform& platform = b.platform;
    const std::string path = names::Join(folder, kIndexName);
    if (IsForeign(platform, path))
        throw EInOutError("Cannot write \"" + path + "\": it is not an index of vornik2html", path,
                          "it is not an index of vornik2html");
    TStagedFiles staged(platform, &b.keys);
    WriteWholeFile(platform, path, staged.Stage(path), html);
    staged.Commit();
}

// Answers whether folder got an index.
bool BuildFolder(TBuild& b, const std::string& folder, const std::string& relative) {
    TPlatform& platform = b.platform;
    std::vector<std::string> listed, subfolders;
    platform.ListFolder(folder.empty() ? "." : folder, listed);
    for (const std::string& name : listed)
        if (!name.empty() && name[0] != '.' &&
            platform.Status(names::Join(folder, name), /*followLinks=*/false).IsFolder())
            subfolders.push_back(name);
    std::sort(subfolders.begin(), subfolders.end(), NaturalLess);
    std::vector<std::string> indexed;
    for (const std::string& name : subfolders)
        if (BuildFolder(b, names::Join(folder, name), relative + name + "/"))
            indexed.push_back(name);

    const auto isFile = [&](const std::string& name) {
        return platform.Status(names::Join(folder, name)).IsFile();
    };
    std::vector<TPageRecord> pages;
    for (auto& [page, record] : TPageRecords::Read(folder, platform))
        if (page != kIndexName && isFile(page)) {
            if (!record.FirstPicture.empty() && !isFile(record.FirstPicture))
                record.FirstPicture.clear();
            pages.push_back(record);
        }
    std::sort(pages.begin(), pages.end(), [](const TPageRecord& a, const TPageRecord& b) {
        return NaturalLess(a.Page, b.Page);
    });
    if (pages.empty() && indexed.empty()) return false;
    try {
        WriteIndex(b, folder, IndexHtml(b.encoding, relative, indexed, pages));
    } catch (const std::exception& e) {
        b.failures.push_back(e.what());
        return false;
    }
    ++b.written;
    return true;
}

}  // namespace

int TIndexPages::Build(const std::string& root, std::vector<std::string>& failures,
                       TPlatform& platform, const names::TNameEncoding& encoding) {
    TBuild b{platform, encoding, failures, TFileKeys(platform)};
    BuildFolder(b, root, "");
    return b.written;
}

}  // namespace quill
