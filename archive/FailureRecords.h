#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quill {

// A document of an archive that did not become a page, as its folder keeps it.
struct TFailureRecord {
    std::string Document;  // the document's file name
    std::string Archive;   // the folder INPUT it was found in, absolute
    std::string Source;    // its path below it
    uint64_t Size = 0;     // the document's size and modification time (ns) when it failed
    int64_t Time = 0;
    std::string Reason;  // the message, as the call printed it
    // The document itself is what failed (it has no text part, it cannot be read), so it
    // fails again for as long as it does not change. Otherwise (a full disk, a clash with
    // another document) another run may well succeed.
    bool OfDocument = false;
};

// The failures of an output folder's documents, in one hidden file of the folder's
// record folder (".vornik2html/failures"), rewritten whole at the end of a call.
class TFailureRecords {
  public:
    static constexpr const char* kFileName = "failures";

    static std::string PathOf(const std::string& folder);
    // The failures the folder keeps, in their order; none when it keeps none.
    static std::vector<TFailureRecord> Read(const std::string& folder,
                                            TPlatform& platform = TPlatform::Real());
    // Puts failures in place of what the folder keeps (none: removes the file); writes
    // nothing when they are what it holds already. Fails with EInOutError.
    static void Write(const std::string& folder, const std::vector<TFailureRecord>& failures,
                      TPlatform& platform = TPlatform::Real());
};

}  // namespace quill
