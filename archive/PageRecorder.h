#pragma once

#include <string>
#include <vector>

#include "archive/PageRecords.h"
#include "archive/SiteFiles.h"
#include "convert/RunSeams.h"
#include "platform/Platform.h"

namespace quill {

// The record of an archive's page, staged with the page and its pictures by the run that
// wrote them (TRunRecorder). For a page found without a record (made by an earlier
// version, or its record lost), it also compares what the run wrote with the files in
// place: when they are the same to the byte, only the record need be put in place.
class TPageRecorder : public TRunRecorder {
  public:
    // record: the document's fields (its name, archive, source, size, time, options);
    // the run adds the pictures. folder: the page's folder.
    // site: the files beside the page besides its pictures, made from document (a path).
    TPageRecorder(TPageRecord record, std::string folder, bool compare,
                  TPlatform& platform = TPlatform::Real(), TSiteFiles site = {},
                  std::string document = {})
        : record_(std::move(record)),
          folder_(std::move(folder)),
          compare_(compare),
          platform_(platform),
          site_(site),
          document_(std::move(document)) {}

    void BeforeCommit(TStagedFiles& files, const std::vector<TWrittenFile>& written,
                      int pictures) override;

    // The record as staged.
    const TPageRecord& Record() const { return record_; }
    // Whether every file the run wrote is already in place, byte for byte (compare only).
    bool InPlace() const { return inPlace_; }

  private:
    TPageRecord record_;
    const std::string folder_;
    const bool compare_;
    TPlatform& platform_;
    const TSiteFiles site_;
    const std::string document_;
    bool inPlace_ = false;
};

}  // namespace quill
