#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/DocumentFilter.h"
#include "platform/Platform.h"

namespace quill {

// A document found in a folder INPUT.
struct TFoundDocument {
    std::string Path;      // to open: the INPUT joined with Relative
    std::string Relative;  // its folders below the INPUT and its file name, "/" between
};

// Walks a folder and the folders below it for documents. Links to files are followed,
// links to folders are not, so no walk loops; a folder that is the output folder is not
// entered, so the output may lie inside the archive. Within a folder the documents come
// in natural order, then its folders, each in natural order.
class TFolderWalk {
  public:
    // excluded: a folder never entered (the output folder); empty for none.
    TFolderWalk(const TDocumentFilter& filter, const std::string& excluded,
                TPlatform& platform = TPlatform::Real());

    // Appends the documents below root; a folder that cannot be read, and any name in a
    // folder that cannot be looked at (a folder that lists but cannot be entered, a path
    // the system takes no call with), is appended to failures as "PATH: reason" and
    // skipped, the walk goes on. A name gone since its folder was listed is no failure.
    void Walk(const std::string& root, std::vector<TFoundDocument>& documents,
              std::vector<std::string>& failures) const;

  private:
    void WalkFolder(const std::string& path, const std::string& relative,
                    std::vector<TFoundDocument>& documents,
                    std::vector<std::string>& failures) const;

    const TDocumentFilter& filter_;
    TPlatform& platform_;
    bool hasExcluded_ = false;
    uint64_t excludedDevice_ = 0;
    uint64_t excludedInode_ = 0;
};

}  // namespace quill
