#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/DocumentPlan.h"
#include "archive/PageRecords.h"

namespace quill {

// What came of one document of a call.
enum class TOutcome {
    None,       // not ended (the call was interrupted first)
    Converted,  // its page and pictures put in place
    Recorded,   // its page and pictures were in place already: only its record written
    UpToDate,
    Failed,
    Skipped,  // failed before and unchanged: not tried again
    Gone,     // no longer there: taken off the index
    Pruned,   // no longer there: its page, pictures and record removed
};

// One document of a call of the command-line converter (TArchiveCall), from its listing
// to what came of it.
struct TCallJob {
    std::string Input;    // as it is opened
    std::string Page;     // the page to write
    std::string Share;    // what --shard goes by: the path below a folder INPUT, or INPUT
    std::string Folder;   // in an archive: the page's folder, made and recorded; else ""
    std::string Refusal;  // non-empty: not converted, and why
    uint64_t Size = 0;
    int Root = -1;         // in an archive: its folder INPUT (TArchiveRoots)
    int64_t Time = 0;      // the document's modification time when it was planned
    std::string Bar = {};  // the modern page's bar in an archive (TPageBar); "" for none
    TPlan Plan = {};
    std::optional<TPageRecord> Record = {};  // its page's record as the call found it
    // What came of it, set once, by the worker that ends it, under the call's lock.
    TOutcome Outcome = TOutcome::None;
    int Pictures = 0;
    std::string Reason = {};
    bool OfDocument = false;  // it failed by itself (TFailureRecord::OfDocument)
};

}  // namespace quill
