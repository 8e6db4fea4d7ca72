#include "archive/PageBar.h"

#include <vector>

#include "archive/IndexPages.h"
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

}  // namespace quill
