#include "archive/ArchiveRoots.h"

#include <filesystem>

namespace quill {

int TArchiveRoots::Add(const std::string& input) {
    std::string full = input;
    if (input.empty() || input[0] != '/') {
        const std::string current = platform_.CurrentFolder();
        full = current + (current.ends_with('/') ? "" : "/") + input;
    }
    std::string absolute = std::filesystem::path(full).lexically_normal().string();
    while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
    roots_.push_back(TRoot{input, absolute, platform_.Status(input)});
    found_.clear();
    return static_cast<int>(roots_.size()) - 1;
}

int TArchiveRoots::Find(const std::string& recorded) {
    if (const auto it = found_.find(recorded); it != found_.end()) return it->second;
    int root = -1;
    for (size_t i = 0; i < roots_.size() && root < 0; ++i)
        if (roots_[i].Absolute == recorded) root = static_cast<int>(i);
    if (root < 0) {
        const TFileStatus at = platform_.Status(recorded);
        for (size_t i = 0; i < roots_.size() && root < 0 && at.IsFolder(); ++i)
            if (roots_[i].Status.IsFolder() && roots_[i].Status.Device == at.Device &&
                roots_[i].Status.Inode == at.Inode)
                root = static_cast<int>(i);
    }
    found_.emplace(recorded, root);
    return root;
}

}  // namespace quill
