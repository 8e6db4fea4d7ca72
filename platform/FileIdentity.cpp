#include "platform/FileIdentity.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace quill {

std::string FileKey(const std::string& path) {
    // Absolute first: a relative name none of whose parts exists yet would stay relative.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec).lexically_normal();
    const std::filesystem::path full = std::filesystem::weakly_canonical(absolute, ec);
    return ec ? absolute.string() : full.string();
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return FileKey(a) == FileKey(b);
}

}  // namespace quill
