#include "archive/FolderWalk.h"

#include <algorithm>
#include <cerrno>

#include "archive/NaturalOrder.h"

namespace quill {

namespace {

// The system's reason, and for a path it takes no call with (past its path limit, on a
// platform that cannot reach further) what that means.
std::string Why(const std::string& path, int error) {
    const std::string reason = TPlatform::Reason(error);
    if (error != ENAMETOOLONG) return reason;
    return "its path of " + std::to_string(path.size()) + " bytes is longer than the system " +
           "takes (" + reason + ")";
}

}  // namespace

TFolderWalk::TFolderWalk(const TDocumentFilter& filter, const std::string& excluded,
                         TPlatform& platform)
    : filter_(filter), platform_(platform) {
    const TFileStatus info = excluded.empty() ? TFileStatus{} : platform_.Status(excluded);
    if (!excluded.empty() && info.IsFolder()) {
        hasExcluded_ = true;
        excludedDevice_ = info.Device;
        excludedInode_ = info.Inode;
    }
}

void TFolderWalk::Walk(const std::string& root, std::vector<TFoundDocument>& documents,
                       std::vector<std::string>& failures) const {
    WalkFolder(root, "", documents, failures);
}

void TFolderWalk::WalkFolder(const std::string& path, const std::string& relative,
                             std::vector<TFoundDocument>& documents,
                             std::vector<std::string>& failures) const {
    std::vector<std::string> listed;
    if (const int error = platform_.ListFolder(path, listed)) {
        failures.push_back(path + ": Cannot read the folder: " + Why(path, error));
        if (listed.empty()) return;
    }
    std::vector<std::string> files, folders;
    const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
    for (const std::string& name : listed) {
        if (name.empty() || name[0] == '.') continue;  // hidden files
        const std::string full = prefix + name;
        const TFileStatus info = platform_.Status(full, /*followLinks=*/false);
        // A document that cannot be looked at is never skipped in silence (a folder that
        // lists but cannot be entered); only one gone since it was listed is.
        if (!info.Exists()) {
            if (info.Error != ENOENT)
                failures.push_back(full + ": Cannot look at it: " + Why(full, info.Error));
            continue;
        }
        if (info.Kind == TFileKind::Folder) {
            if (!(hasExcluded_ && info.Device == excludedDevice_ && info.Inode == excludedInode_))
                folders.push_back(name);
        } else if (filter_.IsDocument(name)) {
            // A link counts as what it leads to: a file is taken, a folder is not entered.
            // A link that leads nowhere is taken, and its conversion says why it fails.
            if (info.Kind == TFileKind::Link && platform_.Status(full).IsFolder()) continue;
            files.push_back(name);
        }
    }
    std::sort(files.begin(), files.end(), NaturalLess);
    std::sort(folders.begin(), folders.end(), NaturalLess);
    for (const std::string& name : files)
        documents.push_back(TFoundDocument{prefix + name, relative + name});
    for (const std::string& name : folders)
        WalkFolder(prefix + name, relative + name + "/", documents, failures);
}

}  // namespace quill
