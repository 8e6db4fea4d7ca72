#pragma once

#include <string>
#include <vector>

#include "convert/NameEncoding.h"
#include "platform/Platform.h"

namespace quill {

// The index pages of an output folder and of every folder below it that holds pages:
// "index.htm" links to the indexes of its folders and to each recorded page that exists,
// with the document's file name, its size, its number of pictures and its first picture
// as a thumbnail. Made from what the folders hold (their pages and record files) alone,
// so they can be made again at any time. UTF-8 HTML5, readable on a phone.
class TIndexPages {
  public:
    // Writes the index of root and of every folder below it that holds pages, each put in
    // place whole; answers the number written. An "index.htm" that this system did not
    // write is never replaced: its folder is appended to failures ("FILE: reason"), as is
    // an index that cannot be written, and the other folders go on. Names that are not
    // UTF-8 are shown by encoding; links keep their bytes.
    static int Build(const std::string& root, std::vector<std::string>& failures,
                     TPlatform& platform = TPlatform::Real(),
                     const names::TNameEncoding& encoding = {});

    static constexpr const char* kIndexName = "index.htm";
};

}  // namespace quill
