#include "archive/FolderWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/NaturalOrder.h"

namespace quill {

TFolderWalk::TFolderWalk(const TDocumentFilter& filter, const std::string& excluded)
    : filter_(filter) {
    struct stat info {};
    if (!excluded.empty() && ::stat(excluded.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        hasExcluded_ = true;
        excludedDevice_ = info.st_dev;
        excludedInode_ = info.st_ino;
    }
}

void TFolderWalk::Walk(const std::string& root, std::vector<TFoundDocument>& documents,
                       std::vector<std::string>& failures) const {
    WalkFolder(root, "", documents, failures);
}

void TFolderWalk::WalkFolder(const std::string& path, const std::string& relative,
                             std::vector<TFoundDocument>& documents,
                             std::vector<std::string>& failures) const {
    DIR* folder = ::opendir(path.c_str());
    if (!folder) {
        failures.push_back(path + ": Cannot read the folder: " + std::strerror(errno));
        return;
    }
    std::vector<std::string> files, folders;
    const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (!entry) {
            readError = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;  // ".", "..", hidden files
        const std::string full = prefix + name;
        struct stat info {};
        if (::lstat(full.c_str(), &info) != 0) continue;  // gone since it was listed
        if (S_ISDIR(info.st_mode)) {
            if (!(hasExcluded_ && info.st_dev == excludedDevice_ && info.st_ino == excludedInode_))
                folders.push_back(name);
        } else if (filter_.IsDocument(name)) {
            // A link counts as what it leads to: a file is taken, a folder is not entered.
            // A link that leads nowhere is taken, and its conversion says why it fails.
            if (S_ISLNK(info.st_mode) && ::stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                continue;
            files.push_back(name);
        }
    }
    ::closedir(folder);
    if (readError != 0)
        failures.push_back(path + ": Cannot read the folder: " + std::strerror(readError));
    std::sort(files.begin(), files.end(), NaturalLess);
    std::sort(folders.begin(), folders.end(), NaturalLess);
    for (const std::string& name : files)
        documents.push_back(TFoundDocument{prefix + name, relative + name});
    for (const std::string& name : folders)
        WalkFolder(prefix + name, relative + name + "/", documents, failures);
}

}  // namespace quill
