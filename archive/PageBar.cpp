#include "archive/PageBar.h"

#include <algorithm>
#include <map>
#include <vector>

#include "archive/IndexPages.h"
#include "archive/NaturalOrder.h"
#include "convert/DocumentNames.h"
#include "convert/MarkupNames.h"

namespace quill {

namespace {

constexpr const char* kStart =
    "<nav style=\"font:15px/1.5 sans-serif;background:#eee;color:#222;padding:4px 8px;"
    "display:flex;flex-wrap:wrap;gap:2px 16px\">";
constexpr const char* kEnd = "</nav>\r\n";

std::string Anchor(const std::string& address, const std::string& text, const char* rel = "") {
    std::string a = "<a href=\"" + address + "\"";
    if (*rel != '\0') a.append(" rel=\"").append(rel).append("\"");
    return a + ">" + text + "</a>";
}

}  // namespace

std::string TPageBar::Html(const names::TNameEncoding& encoding) const {
    const auto shown = [&](const std::string& s) { return names::HtmlText(encoding.Shown(s)); };
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < Folder.size()) {
        const size_t end = Folder.find('/', start);
        parts.push_back(Folder.substr(start, end - start));
        start = end == std::string::npos ? Folder.size() : end + 1;
    }
    // The way up: the site's root, then each folder down to the page's own.
    std::string up;
    for (size_t i = 0; i < parts.size(); ++i) up += "../";
    std::string html = kStart;
    html.append("<span>").append(Anchor(up + TIndexPages::kIndexName, "/"));
    for (size_t i = 0; i < parts.size(); ++i) {
        up.erase(0, 3);
        html.append(" ").append(Anchor(up + TIndexPages::kIndexName, shown(parts[i]))).append(" /");
    }
    html += "</span>";
    if (!Previous.empty())
        html += Anchor(names::AddressOf(Previous),
                       std::string("&larr; ").append(shown(PreviousName)), "prev");
    if (!Next.empty()) html += Anchor(names::AddressOf(Next), shown(NextName) + " &rarr;", "next");
    if (!Original.empty())
        html +=
            Anchor(names::AddressOf(Original), std::string("original: ").append(shown(Original)));
    return html + kEnd;
}

void SetBars(std::vector<TCallJob>& jobs, bool originals, const names::TNameEncoding& encoding) {
    // A folder's pages in the order its index lists them.
    std::map<std::string, std::vector<size_t>> byFolder;
    for (size_t i = 0; i < jobs.size(); ++i)
        if (!jobs[i].Folder.empty() && jobs[i].Refusal.empty())
            byFolder[jobs[i].Folder].push_back(i);
    for (auto& [folder, list] : byFolder) {
        std::sort(list.begin(), list.end(), [&](size_t a, size_t b) {
            return NaturalLess(std::string(names::FileName(jobs[a].Page)),
                               std::string(names::FileName(jobs[b].Page)));
        });
        for (size_t k = 0; k < list.size(); ++k) {
            TCallJob& job = jobs[list[k]];
            TPageBar bar;
            bar.Folder = std::string(names::FolderOf(job.Share));
            if (!bar.Folder.empty() && bar.Folder.back() != '/') bar.Folder += '/';
            if (k > 0) {
                const TCallJob& previous = jobs[list[k - 1]];
                bar.Previous = std::string(names::FileName(previous.Page));
                bar.PreviousName = std::string(names::FileName(previous.Input));
            }
            if (k + 1 < list.size()) {
                const TCallJob& next = jobs[list[k + 1]];
                bar.Next = std::string(names::FileName(next.Page));
                bar.NextName = std::string(names::FileName(next.Input));
            }
            if (originals) bar.Original = std::string(names::FileName(job.Input));
            job.Bar = bar.Html(encoding);
        }
    }
}

}  // namespace quill
