#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quill {

// What an index says of a page that the page itself cannot tell.
struct TPageRecord {
    std::string Page;          // the page's file name, in the record's folder
    std::string Document;      // the document's file name, without folder
    uint64_t Size = 0;         // the document's size in bytes
    int Pictures = 0;          // picture files beside the page
    std::string FirstPicture;  // the first one's file name; empty when none
};

// The small record file that an output folder keeps of its pages, so that the index
// pages can be made again later from the folder alone. Each run writes a record file of
// its own name (a share of an archive converted elsewhere has its own), replacing it as a
// whole; reading merges every record file of the folder, the newest file's word on a page
// counting.
class TPageRecords {
  public:
    // The record file of a whole run (suffix "") or of one share ("-2-of-8").
    static std::string FileName(const std::string& suffix);

    // Every page recorded in folder, by page file name; none when there is no record.
    static std::map<std::string, TPageRecord> Read(const std::string& folder,
                                                   TPlatform& platform = TPlatform::Real());

    // Adds records to folder's record file fileName, replacing those of the same pages.
    // Fails with EInOutError naming the record file.
    static void Update(const std::string& folder, const std::string& fileName,
                       const std::vector<TPageRecord>& records,
                       TPlatform& platform = TPlatform::Real());
};

}  // namespace quill
