#include "tools/entry/DroppedInputs.h"

#include <algorithm>
#include <map>

#include "archive/ArchiveCall.h"
#include "convert/DocumentNames.h"

namespace quill {

std::vector<TCallSettings> DroppedCalls(const std::vector<std::string>& paths,
                                        const TCallSettings& base, TPlatform& platform) {
    std::vector<TCallSettings> calls;
    std::map<std::string, size_t> byFolder;  // the call of each folder's documents
    const auto call = [&](const std::string& dir) -> TCallSettings& {
        calls.push_back(TCallSettings{});
        calls.back().platform = base.platform;
        calls.back().terminal = base.terminal;
        calls.back().dir = dir;
        return calls.back();
    };
    for (const std::string& path : paths) {
        if (platform.Status(path).IsFolder()) {
            std::string folder = path;
            while (folder.size() > 1 && kPathSeparators.find(folder.back()) != std::string::npos)
                folder.pop_back();
            call(folder + kSiteSuffix).inputs.push_back(path);
            continue;
        }
        std::string folder(names::FolderOf(path));
        const auto [it, added] = byFolder.emplace(folder, calls.size());
        if (added) call(folder);
        calls[it->second].inputs.push_back(path);
    }
    return calls;
}

bool LooksDropped(const std::vector<std::string>& arguments, TPlatform& platform) {
    for (const std::string& a : arguments)
        if (a.empty() || a[0] == '-' || !platform.Status(a).Exists()) return false;
    return !arguments.empty();
}

int ConvertDropped(const std::vector<std::string>& paths, bool terminal) {
    TCallSettings base;
    base.terminal = terminal;
    int status = 0;
    for (const TCallSettings& call : DroppedCalls(paths, base, TPlatform::Real()))
        status = std::max(status, RunCall(call));
    return status;
}

}  // namespace quill
