#include "archive/DocumentFilter.h"

#include <fnmatch.h>

#include "convert/DocumentNames.h"

namespace quill {

TDocumentFilter::TDocumentFilter(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)) {}

bool TDocumentFilter::IsDocument(std::string_view fileName) const {
    if (fileName.empty() || fileName[0] == '.') return false;
    if (patterns_.empty()) {
        return names::DeriveNames(fileName).SkipHeader;
    }
    const std::string name(fileName);
    for (const std::string& pattern : patterns_)
        if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0) return true;
    return false;
}

}  // namespace quill
