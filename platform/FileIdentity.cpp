#include "platform/FileIdentity.h"

#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <system_error>

namespace quill {

std::string FileKey(const std::string& path) {
    namespace fs = std::filesystem;
    // Absolute first: a relative name none of whose parts exists yet would stay relative.
    // Not normalised before it is resolved: after a link to a folder, ".." is the parent of
    // the folder the link leads to, as the system takes it.
    std::error_code ec;
    fs::path at = fs::absolute(path, ec);
    // A link to a file not yet there names the file that a write through it creates.
    for (int hops = 0;
         hops < 40 && fs::is_symlink(fs::symlink_status(at, ec)) && !fs::exists(at, ec); ++hops)
        at = at.parent_path() / fs::read_symlink(at, ec);
    const fs::path full = fs::weakly_canonical(at, ec);
    return ec ? at.lexically_normal().string() : full.string();
}

const std::string& TFileKeys::operator()(const std::string& path) {
    if (const auto it = keys_.find(path); it != keys_.end()) return it->second;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    struct stat st {};
    const int found = ::lstat(path.c_str(), &st);
    // A link resolves elsewhere, "." and ".." are not names, and a path that cannot be
    // looked at may resolve differently: those take the whole way.
    std::string key;
    if (name.empty() || name == "." || name == ".." || (found == 0 && S_ISLNK(st.st_mode)) ||
        (found != 0 && errno != ENOENT)) {
        key = FileKey(path);
    } else {
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
        key = (*this)(folder);  // a copy: the map may grow below
        if (key.empty() || key.back() != '/') key += '/';
        key += name;
    }
    return keys_.emplace(path, std::move(key)).first->second;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return FileKey(a) == FileKey(b);
}

}  // namespace quill
