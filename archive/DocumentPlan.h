#pragma once

#include <string>

#include "archive/FailureRecords.h"
#include "archive/PageRecords.h"
#include "platform/Platform.h"

namespace quill {

// What a call does with one of its documents.
enum class TAction {
    Convert,   // convert it
    Compare,   // its page has no record: convert it, and write only the record when the
               // page and pictures are what is there already
    UpToDate,  // leave it as it is
    Record,    // leave its page and pictures as they are, and write its record
    Fail,      // refused before anything is converted
    Skip,      // it failed before and has not changed: not tried again
};

// The action and why, in a few words ("options changed", the refusal, the failure).
struct TPlan {
    TAction Action = TAction::Convert;
    std::string Why;
};

// What the plan of one document goes by.
struct TPlanFacts {
    bool Update = false;       // --update: only what is not up to date
    bool RetryFailed = false;  // --retry-failed: kept failures too
    std::string Refusal;       // non-empty: the document is refused, and why
    bool Recorded = false;     // a document of an archive, whose pages have records
    TFileStatus Document;
    TFileStatus Page;
    const TPageRecord* Record = nullptr;      // the page's own record, if it has one
    bool RecordIsOfDocument = false;          // the record is this document's
    std::string Options;                      // the call's (PageOptions)
    const TFailureRecord* Failure = nullptr;  // a failure the folder keeps of the document
    std::string Folder;                       // the page's folder, where its pictures lie
    std::string Bar;                          // the bar the page would start with now
};

// A page of an archive is up to date only when it has a record of this document as it
// is now, made with the same options, and the page and all its pictures are there; a page
// named alone has no record and is up to date when it is no older than its document.
TPlan PlanOf(const TPlanFacts& facts, TPlatform& platform = TPlatform::Real());

}  // namespace quill
