#pragma once

#include <string>
#include <vector>

#include "convert/NameEncoding.h"
#include "platform/Platform.h"

namespace quill {

// The index pages of an output folder and of every folder below it that holds pages:
// "index.htm" links to the indexes of its folders and to each recorded page that exists
// and whose document is not gone,
// with the document's file name, its size, its number of pictures and its first picture
// as a thumbnail. Made from what the folders hold (their pages and record files) alone,
// so they can be made again at any time. UTF-8 HTML5, readable on a phone.
// What the indexes of a site made with the site's options show besides: a search box
// (SITE/pagefind), and on the root's the site's totals, which also show on a site whose
// pages have files of the site (TSiteFiles). A row always shows what its record has: the
// page's face and first line, links to its original and its whole page.
struct TIndexSite {
    bool Search = false;
};

class TIndexPages {
  public:
    using TSite = TIndexSite;

    // Writes the index of root and of every folder below it that holds pages, each put in
    // place whole, unless it holds those bytes already; answers the number made. An
    // "index.htm" that this system did not write is never replaced: its folder is appended
    // to failures ("FILE: reason"), as is an index that cannot be written, and the other
    // folders go on. With unlisted, also says there what no index lists ("FILE: not
    // listed: why"): pages without a record, records without a page, records that do not
    // read, pages of documents that are gone. Names that are not UTF-8 are shown by
    // encoding; links keep their bytes.
    static int Build(const std::string& root, std::vector<std::string>& failures,
                     TPlatform& platform = TPlatform::Real(),
                     std::vector<std::string>* unlisted = nullptr,
                     const names::TNameEncoding& encoding = {}, TSite site = {});

    // The folders of folder an index may list: not hidden, not links, in natural order.
    static std::vector<std::string> FoldersOf(const std::string& folder,
                                              TPlatform& platform = TPlatform::Real());

    static constexpr const char* kIndexName = "index.htm";
};

}  // namespace quill
