#pragma once

#include <string>
#include <vector>

#include "archive/CallJob.h"

#include "convert/NameEncoding.h"

namespace quill {

// The slim bar a modern page of an archive starts with: the folder's path as links to
// the index pages above the page, the previous and the next document of its folder (in
// the order its index lists them) and the original document, when it lies beside the
// page. Its look is in its own attributes, so that it needs nothing of the page's style
// and wraps on a narrow screen.
struct TPageBar {
    std::string Folder;        // the page's folder below the site's root, "a/b/"; "" at the root
    std::string Previous;      // the previous page's file name; "" for the first
    std::string PreviousName;  // its document's file name, as the bar shows it
    std::string Next;
    std::string NextName;
    std::string Original;  // the original document's file name beside the page; "" for none

    // The bar's markup, names shown by encoding and linked with their bytes.
    std::string Html(const names::TNameEncoding& encoding) const;
};

// The bar of every modern page of an archive among jobs: its folder, and its neighbours
// among the folder's pages in the order its index lists them. Made before --shard
// chooses, so that every share writes the same bars; originals: the bar links the
// original document too.
void SetBars(std::vector<TCallJob>& jobs, bool originals, const names::TNameEncoding& encoding);

}  // namespace quill
