#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveRoots.h"
#include "archive/PageRecords.h"
#include "platform/Platform.h"

namespace quill {

// A page recorded below a call's DIR whose document, found in one of the call's folder
// INPUTs when it was converted, is no longer there.
struct TGoneDocument {
    std::string Folder;    // the page's folder
    TPageRecord Record;    // as it was found
    std::string Document;  // where the document was: its INPUT as given, joined with its source
};

// Finds the documents that are gone and takes their pages off the index (their records
// say so), or with --prune removes the page and picture files their records name as
// well, and then the records: only files no other record of the folder names.
class TGoneDocuments {
  public:
    // The records below root of documents of roots that are gone, among those that
    // mayBeGone(page, record) allows (a page no document of the call writes; a share's
    // own). A document counts as gone only when the system says there is no such file; one
    // that cannot be looked at (in a folder that cannot be entered) is left alone.
    static std::vector<TGoneDocument> Find(
        const std::string& root, TArchiveRoots& roots,
        const std::function<bool(const std::string& page, const TPageRecord&)>& mayBeGone,
        TPlatform& platform = TPlatform::Real());

    // Marks each one's record, or prunes it; a file that cannot be removed or a record that
    // cannot be written is appended to failures ("FILE: reason" or the message) and the
    // others go on. Answers how many were done.
    static size_t Settle(const std::vector<TGoneDocument>& gone, bool prune,
                         std::vector<std::string>& failures,
                         TPlatform& platform = TPlatform::Real());
};

}  // namespace quill
