#include "archive/GoneDocuments.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "archive/IndexPages.h"
#include "convert/DocumentNames.h"
#include "platform/Exception.h"

namespace quill {

namespace {

void FindIn(const std::string& folder, TArchiveRoots& roots,
            const std::function<bool(const std::string&, const TPageRecord&)>& mayBeGone,
            TPlatform& platform, std::vector<TGoneDocument>& gone) {
    for (const auto& [page, record] : TPageRecords::Read(folder, platform)) {
        if (record.Old) continue;
        const int root = roots.Find(record.Archive);
        if (root < 0 || !mayBeGone(names::Join(folder, page), record)) continue;
        const std::string document = names::Join(roots.Input(root), record.Source);
        const int error = platform.Status(document).Error;
        if (error == ENOENT || error == ENOTDIR) gone.push_back({folder, record, document});
    }
    // The folders the index pages list: those a page of the site may lie in.
    for (const std::string& name : TIndexPages::FoldersOf(folder, platform))
        FindIn(names::Join(folder, name), roots, mayBeGone, platform, gone);
}

void Remove(TPlatform& platform, const std::string& path, std::vector<std::string>& failures) {
    const int error = platform.Remove(path);
    if (error != 0 && error != ENOENT)
        failures.push_back("Cannot remove \"" + path + "\": " + TPlatform::Reason(error));
}

// The pages of one folder: their files go unless another record of the folder names them.
void Prune(TPlatform& platform, const std::string& folder, const std::vector<TPageRecord>& pages,
           std::vector<std::string>& failures) {
    std::set<std::string> pruned, kept;
    for (const TPageRecord& r : pages) pruned.insert(r.Page);
    for (const auto& [page, r] : TPageRecords::Read(folder, platform)) {
        if (pruned.contains(page)) continue;
        kept.insert(page);
        kept.insert(r.Files.begin(), r.Files.end());
        kept.insert(r.Extras.begin(), r.Extras.end());
        if (!r.FirstPicture.empty()) kept.insert(r.FirstPicture);
    }
    for (const TPageRecord& r : pages) {
        std::vector<std::string> files = r.Files;
        files.insert(files.end(), r.Extras.begin(), r.Extras.end());
        files.push_back(r.Page);
        for (const std::string& file : files)
            if (!kept.contains(file) && platform.Status(names::Join(folder, file)).IsFile())
                Remove(platform, names::Join(folder, file), failures);
        Remove(platform, TPageRecords::PathOf(folder, r.Page), failures);
    }
}

}  // namespace

std::vector<TGoneDocument> TGoneDocuments::Find(
    const std::string& root, TArchiveRoots& roots,
    const std::function<bool(const std::string&, const TPageRecord&)>& mayBeGone,
    TPlatform& platform) {
    std::vector<TGoneDocument> gone;
    FindIn(root, roots, mayBeGone, platform, gone);
    return gone;
}

size_t TGoneDocuments::Settle(const std::vector<TGoneDocument>& gone, bool prune,
                              std::vector<std::string>& failures, TPlatform& platform) {
    size_t settled = 0;
    std::map<std::string, std::vector<TPageRecord>> byFolder;
    for (const TGoneDocument& g : gone) {
        if (prune) {
            byFolder[g.Folder].push_back(g.Record);
            ++settled;
            continue;
        }
        if (g.Record.Gone) continue;  // taken off before
        TPageRecord record = g.Record;
        record.Gone = true;
        try {
            TPageRecords::Write(g.Folder, record, platform);
            ++settled;
        } catch (const std::exception& e) {
            failures.push_back(e.what());
        }
    }
    for (const auto& [folder, pages] : byFolder) Prune(platform, folder, pages, failures);
    return settled;
}

}  // namespace quill
