#include "platform/Platform.h"

#include <cerrno>
#include <cstring>

namespace quill {

std::string TPlatform::Reason(int error) {
    if (error == kForbiddenName)
        return "the system does not allow this file name (a device's name, or a character such "
               "as : * ? \" < > |)";
    return std::strerror(error);
}

std::optional<std::string> TPlatform::SystemFileKey(const std::string&) {
    return std::nullopt;
}

std::string TPlatform::KeyName(std::string_view name) {
    return std::string(name);
}

int TPlatform::MakeFolders(const std::string& path) {
    const TFileStatus status = Status(path);
    if (status.Exists()) return status.IsFolder() ? 0 : ENOTDIR;
    std::string folder = path;
    while (folder.size() > 1 && kPathSeparators.find(folder.back()) != std::string::npos)
        folder.pop_back();
    const size_t slash = folder.find_last_of(kPathSeparators);
    if (slash != std::string::npos && slash > 0) {
        if (const int error = MakeFolders(folder.substr(0, slash))) return error;
    }
    const int error = MakeFolder(folder);
    // Another may have made it meanwhile.
    if (error == EEXIST) return Status(folder).IsFolder() ? 0 : ENOTDIR;
    return error;
}

}  // namespace quill
