#include "archive/IndexPages.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "archive/NaturalOrder.h"
#include "archive/NumberText.h"
#include "archive/PageRecords.h"
#include "archive/SearchIndex.h"
#include "archive/SiteFiles.h"
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
// The rules a site's index adds: faces are wider than first pictures.
constexpr const char* kSiteStyle =
    ".f{flex:none;width:160px;border:1px solid #ccc}\n"
    ".l{display:block;color:#333;overflow:hidden;text-overflow:ellipsis;white-space:nowrap;"
    "max-width:28em}\n"
    "#search{margin:.8em 0}\n";

// Names as links: the modern page's rules.
std::string Link(const std::string& s) {
    return names::AddressOf(s);
}

// What building the indexes of one site holds throughout.
struct TBuild {
    TPlatform& platform;
    const names::TNameEncoding& encoding;
    std::vector<std::string>& failures;
    std::vector<std::string>* unlisted;  // what no index lists, when asked
    TFileKeys keys;                      // of every index, so that each folder is resolved once
    TIndexPages::TSite site;
    int written = 0;
    // The totals of the site, of every page listed so far.
    bool siteFiles = false;  // some page has files of the site
    uint64_t documents = 0, pictures = 0, bytes = 0;
    int64_t made = 0;  // the newest page's time
};

// The date of a time in ns since 1970, as "2026-12-11" (UTC).
std::string DateOf(int64_t ns) {
    using namespace std::chrono;
    const year_month_day day{floor<days>(sys_time<nanoseconds>(nanoseconds(ns)))};
    const auto two = [](unsigned n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
    return std::to_string(static_cast<int>(day.year())) + "-" +
           two(static_cast<unsigned>(day.month())) + "-" + two(static_cast<unsigned>(day.day()));
}

std::string Counted(uint64_t n, const char* one, const char* many) {
    return Grouped(n) + " " + (n == 1 ? one : many);
}

// The root's line of totals: what the site holds and when it last changed.
std::string TotalsHtml(const TBuild& b) {
    std::string html = "<p>" + Counted(b.documents, "document", "documents") + ", " +
                       Counted(b.pictures, "picture", "pictures") + ", " +
                       Counted(b.bytes, "byte", "bytes") + " of originals";
    if (b.made != 0) html += "; last changed on " + DateOf(b.made);
    return html + "</p>\n";
}

std::string ExtraOf(const TPageRecord& r, bool (*kind)(std::string_view)) {
    for (const std::string& e : r.Extras)
        if (kind(e)) return e;
    return {};
}

std::string IndexHtml(const TBuild& b, const std::string& relative,
                      const std::vector<std::string>& folders,
                      const std::vector<TPageRecord>& pages) {
    const names::TNameEncoding& encoding = b.encoding;
    // Names as the page shows them: the modern page's rules.
    const auto shown = [&](const std::string& s) { return names::HtmlText(encoding.Shown(s)); };
    std::string title = "/" + relative;
    // An index of a site made with its options (with the root's, anywhere in the site);
    // the others stay as they were.
    const bool site = b.site.Search || (relative.empty() && b.siteFiles) ||
                      std::any_of(pages.begin(), pages.end(), [](const TPageRecord& r) {
                          return !r.Extras.empty() || r.Made != 0;
                      });
    std::string style = kStyle;
    // The style's own rules end before its closing tag.
    if (site) style.insert(style.find("</style>"), kSiteStyle);
    std::string html = kHead + std::string(kGenerator) + kTitle + shown(title) + style;
    html += "<h1>" + shown(title) + "</h1>\n";
    if (site && relative.empty()) html += TotalsHtml(b);
    if (b.site.Search) {
        std::string toRoot;
        for (const char c : relative)
            if (c == '/') toRoot += "../";
        html += TSearchIndex::SearchBox(toRoot);
    }
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
            const std::string face = ExtraOf(r, TSiteFiles::IsFaceName);
            if (!face.empty())
                html += "<img class=\"f\" src=\"" + Link(face) + "\" alt=\"\">";
            else if (r.FirstPicture.empty())
                html += "<div class=\"t\"></div>";
            else
                html += "<img class=\"t\" src=\"" + Link(r.FirstPicture) + "\" alt=\"\">";
            const std::string& name = r.Document.empty() ? r.Page : r.Document;
            html += "<div><a href=\"" + Link(r.Page) + "\">" + shown(name) + "</a>";
            // The line is the document's text, already UTF-8.
            if (!r.FirstLine.empty())
                html += "<span class=\"l\">" + names::HtmlText(r.FirstLine) + "</span>";
            else
                html += "<br>";
            html += "<small>";
            if (!r.Document.empty()) {
                html += Grouped(r.Size) + (r.Size == 1 ? " byte, " : " bytes, ");
                html += r.Pictures == 0 ? std::string("no pictures")
                        : r.Pictures == 1
                            ? std::string("1 picture")
                            : Grouped(static_cast<uint64_t>(r.Pictures)) + " pictures";
            }
            const std::string whole = ExtraOf(r, TSiteFiles::IsRenderName);
            if (!whole.empty()) html += " &middot; <a href=\"" + Link(whole) + "\">whole page</a>";
            // The original is the one file of the site that is neither face nor whole page.
            for (const std::string& e : r.Extras)
                if (!TSiteFiles::IsFaceName(e) && !TSiteFiles::IsRenderName(e))
                    html += " &middot; <a href=\"" + Link(e) + "\">original</a>";
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
    // An index that says what it said is left alone: a call that changes nothing writes
    // nothing.
    std::string old;
    if (ReadWholeFile(platform, path, old, html.size() + 1) && old == html) return;
    TStagedFiles staged(platform, &b.keys);
    WriteWholeFile(platform, path, staged.Stage(path), html);
    staged.Commit();
}

// The pages folder lists: its records whose page is there, of documents not gone. What
// cannot be listed is appended to unlisted, when given.
std::vector<TPageRecord> ListedPages(TPlatform& platform, const std::string& folder,
                                     std::vector<std::string>* unlisted) {
    const auto isFile = [&](const std::string& name) {
        return platform.Status(names::Join(folder, name)).IsFile();
    };
    std::vector<TPageRecord> pages;
    const auto records = TPageRecords::Read(folder, platform, unlisted);
    for (auto [page, record] : records) {
        const std::string path = names::Join(folder, page);
        if (page == kIndexName) continue;
        if (!isFile(page)) {
            if (unlisted && !record.Gone)
                unlisted->push_back(path + ": not listed: the page is missing");
            continue;
        }
        if (record.Gone) {
            if (unlisted)
                unlisted->push_back(path +
                                    ": not listed: its document is gone (--prune removes it)");
            continue;
        }
        if (!record.FirstPicture.empty() && !isFile(record.FirstPicture))
            record.FirstPicture.clear();
        // A row links only to what is there.
        std::erase_if(record.Extras, [&](const std::string& e) { return !isFile(e); });
        pages.push_back(record);
    }
    if (unlisted) {
        std::vector<std::string> names;
        platform.ListFolder(folder.empty() ? "." : folder, names);
        std::sort(names.begin(), names.end(), NaturalLess);
        for (const std::string& name : names)
            if (!name.empty() && name[0] != '.' && name.ends_with(".htm") && name != kIndexName &&
                !records.contains(name) && isFile(name))
                unlisted->push_back(names::Join(folder, name) + ": not listed: it has no record");
    }
    return pages;
}

// Answers whether folder, whose folders below have been built (those in indexed got an
// index), got an index.
bool BuildOne(TBuild& b, const std::string& folder, const std::string& relative,
              const std::vector<std::string>& indexed) {
    std::vector<TPageRecord> pages = ListedPages(b.platform, folder, b.unlisted);
    std::sort(pages.begin(), pages.end(), [](const TPageRecord& a, const TPageRecord& b) {
        return NaturalLess(a.Page, b.Page);
    });
    for (const TPageRecord& r : pages) {
        b.siteFiles = b.siteFiles || !r.Extras.empty() || r.Made != 0;
        ++b.documents;
        b.pictures += static_cast<uint64_t>(r.Pictures);
        b.bytes += r.Size;
        b.made = std::max(b.made, r.Made);
    }
    if (pages.empty() && indexed.empty()) return false;
    try {
        WriteIndex(b, folder, IndexHtml(b, relative, indexed, pages));
    } catch (const std::exception& e) {
        b.failures.push_back(e.what());
        return false;
    }
    ++b.written;
    return true;
}

// Every folder below root, deepest first, on a stack of its own: a tree thousands of
// folders deep (the walk reaches past the path limit) must not run out of the thread's.
void BuildTree(TBuild& b, const std::string& root) {
    struct TFolder {
        std::string Path, Relative, Name;
        std::vector<std::string> Below;  // its folders, in order
        size_t Next = 0;                 // the next of them to build
        std::vector<std::string> Indexed;
    };
    std::vector<TFolder> open;
    open.push_back({root, "", "", TIndexPages::FoldersOf(root, b.platform), 0, {}});
    while (!open.empty()) {
        TFolder& top = open.back();
        if (top.Next < top.Below.size()) {
            const std::string& name = top.Below[top.Next++];
            const std::string path = names::Join(top.Path, name);
            TFolder below{path, top.Relative + name + "/",
                          name, TIndexPages::FoldersOf(path, b.platform),
                          0,    {}};
            open.push_back(std::move(below));  // top is no longer valid
            continue;
        }
        const bool indexed = BuildOne(b, top.Path, top.Relative, top.Indexed);
        const std::string name = std::move(top.Name);
        open.pop_back();
        if (indexed && !open.empty()) open.back().Indexed.push_back(name);
    }
}

}  // namespace

std::vector<std::string> TIndexPages::FoldersOf(const std::string& folder, TPlatform& platform) {
    std::vector<std::string> listed, folders;
    platform.ListFolder(folder.empty() ? "." : folder, listed);
    for (const std::string& name : listed)
        if (!name.empty() && name[0] != '.' &&
            platform.Status(names::Join(folder, name), /*followLinks=*/false).IsFolder())
            folders.push_back(name);
    std::sort(folders.begin(), folders.end(), NaturalLess);
    return folders;
}

int TIndexPages::Build(const std::string& root, std::vector<std::string>& failures,
                       TPlatform& platform, std::vector<std::string>* unlisted,
                       const names::TNameEncoding& encoding, TSite site) {
    TBuild b{platform, encoding, failures, unlisted, TFileKeys(platform), site};
    BuildTree(b, root);
    return b.written;
}

}  // namespace quill
