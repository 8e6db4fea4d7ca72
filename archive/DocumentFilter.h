#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quill {

// Which files of a folder are documents. By default those named NAME.$x (a "$" and one
// more character after the first "."), the names whose header a run skips; given shell
// patterns on the file name (--match), the files any of them matches instead. Hidden
// names (a leading ".") are never documents: they are this system's temporary and record
// files, and a page of one would have no name.
class TDocumentFilter {
  public:
    explicit TDocumentFilter(std::vector<std::string> patterns = {});
    bool IsDocument(std::string_view fileName) const;

  private:
    std::vector<std::string> patterns_;
};

}  // namespace quill
