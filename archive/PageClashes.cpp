#include "archive/PageClashes.h"

#include <algorithm>
#include <map>

namespace quill {

using TJob = TCallJob;

// A page that is another document of the call, or the page of an earlier one, is refused
// before anything is converted: writing it would destroy the other document. Names are
// compared as SameFile does (the same file when both exist, else the same spelling), by
// lookup, so an archive of thousands of documents costs a stat or two a name.
void RefuseClashingPages(TPlatform& platform, std::vector<TJob>& jobs, TFileKeys& keyOf) {
    std::map<std::pair<uint64_t, uint64_t>, std::vector<size_t>> byFile;  // inputs that exist
    std::map<std::string, std::vector<size_t>> byKey;                     // inputs that do not
    for (size_t j = 0; j < jobs.size(); ++j) {
        const TFileStatus info = platform.Status(jobs[j].Input);
        if (info.Exists())
            byFile[{info.Device, info.Inode}].push_back(j);
        else
            byKey[keyOf(jobs[j].Input)].push_back(j);
    }
    std::map<std::string, size_t> owners;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const std::string key = keyOf(jobs[i].Page);
        std::vector<size_t> same;
        if (const TFileStatus info = platform.Status(jobs[i].Page); info.Exists()) {
            const auto it = byFile.find({info.Device, info.Inode});
            if (it != byFile.end()) same = it->second;
        }
        if (const auto it = byKey.find(key); it != byKey.end())
            same.insert(same.end(), it->second.begin(), it->second.end());
        std::sort(same.begin(), same.end());
        // (A page that is its own INPUT is refused by the run itself.)
        for (const size_t j : same) {
            if (j == i) continue;
            jobs[i].Refusal = "Cannot create \"" + jobs[i].Page +
                              "\": it is the input document \"" + jobs[j].Input + "\" of this call";
            break;
        }
        if (!jobs[i].Refusal.empty()) continue;
        const auto [it, added] = owners.emplace(key, i);
        if (!added)
            jobs[i].Refusal = "page \"" + jobs[i].Page + "\" is already written by \"" +
                              jobs[it->second].Input + "\" in this call";
    }
}

}  // namespace quill
