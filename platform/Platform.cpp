#include "platform/Platform.h"

#include <cerrno>
#include <cstring>

namespace quill {

std::string TPlatform::Reason(int error) {
    return std::strerror(error);
}

int TPlatform::MakeFolders(const std::string& path) {
    const TFileStatus status = Status(path);
    if (status.Exists()) return status.IsFolder() ? 0 : ENOTDIR;
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = MakeFolders(folder.substr(0, slash))) return error;
    }
    const int error = MakeFolder(folder);
    // Another may have made it meanwhile.
    if (error == EEXIST) return Status(folder).IsFolder() ? 0 : ENOTDIR;
    return error;
}

}  // namespace quill
