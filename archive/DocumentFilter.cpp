#include "archive/DocumentFilter.h"

#include "archive/ShellPattern.h"
#include "convert/DocumentNames.h"

namespace quill {

TDocumentFilter::TDocumentFilter(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)) {}

bool TDocumentFilter::IsDocument(std::string_view fileName) const {
    if (fileName.empty() || fileName[0] == '.') return false;
    if (patterns_.empty()) {
        return names::DeriveNames(fileName).SkipHeader;
    }
    for (const std::string& pattern : patterns_)
        if (MatchesShellPattern(pattern, fileName)) return true;
    return false;
}

}  // namespace quill
