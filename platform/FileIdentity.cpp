#include "platform/FileIdentity.h"

#include <cerrno>
#include <deque>
#include <vector>

namespace quill {

namespace {

constexpr int kMostLinks = 40;

std::vector<std::string> Parts(const std::string& path) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        const size_t slash = std::min(path.find('/', at), path.size());
        parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

// "/a/./b//../c" as "/a/c": names only, no look at the system.
std::string Normal(const std::string& path) {
    std::vector<std::string> kept;
    for (const std::string& part : Parts(path)) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!kept.empty()) kept.pop_back();
        } else {
            kept.push_back(part);
        }
    }
    std::string normal;
    for (const std::string& part : kept) normal += "/" + part;
    return normal.empty() ? "/" : normal;
}

std::string Absolute(const std::string& path, TPlatform& platform) {
    if (!path.empty() && path[0] == '/') return path;
    const std::string here = platform.CurrentFolder();
    return path.empty() ? here : here + "/" + path;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

// The path with every link, "." and ".." resolved as far as the names exist, and the rest
// taken by name; error is set when a name cannot be looked at at all.
std::string Resolve(const std::string& absolute, TPlatform& platform, int& error) {
    std::deque<std::string> left;
    for (const std::string& part : Parts(absolute)) left.push_back(part);
    std::string resolved;  // "" for the root
    for (int links = 0; !left.empty();) {
        const std::string part = left.front();
        left.pop_front();
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            resolved = resolved.empty() ? "" : Parent(resolved);
            if (resolved == "/") resolved.clear();
            continue;
        }
        const std::string at = resolved + "/" + part;
        const TFileStatus status = platform.Status(at, /*followLinks=*/false);
        if (status.Error == ENOENT || status.Error == ENOTDIR) {
            std::string rest = at;
            for (const std::string& more : left) rest += "/" + more;
            return Normal(rest);
        }
        if (!status.Exists()) {
            error = status.Error;
            return {};
        }
        if (status.Kind != TFileKind::Link) {
            resolved = at;
            continue;
        }
        std::string target;
        if (++links > kMostLinks) error = ELOOP;
        if (error == 0) error = platform.ReadLink(at, target);
        if (error != 0) return {};
        if (!target.empty() && target[0] == '/') resolved.clear();
        const std::vector<std::string> targetParts = Parts(target);
        left.insert(left.begin(), targetParts.begin(), targetParts.end());
    }
    return resolved.empty() ? "/" : resolved;
}

}  // namespace

std::string FileKey(const std::string& path, TPlatform& platform) {
    if (std::optional<std::string> key = platform.SystemFileKey(path)) return std::move(*key);
    // Not normalised before it is resolved: after a link to a folder, ".." is the parent of
    // the folder the link leads to, as the system takes it.
    std::string at = Absolute(path, platform);
    // A link to a file not yet there names the file that a write through it creates.
    for (int hops = 0; hops < kMostLinks; ++hops) {
        if (platform.Status(at, false).Kind != TFileKind::Link || platform.Status(at).Exists())
            break;
        std::string target;
        if (platform.ReadLink(at, target) != 0) break;
        at = !target.empty() && target[0] == '/' ? target : Parent(at) + "/" + target;
    }
    int error = 0;
    const std::string key = Resolve(at, platform, error);
    return error != 0 ? Normal(at) : key;
}

const std::string& TFileKeys::operator()(const std::string& path) {
    if (const auto it = keys_.find(path); it != keys_.end()) return it->second;
    if (std::optional<std::string> key = platform_.SystemFileKey(path))
        return keys_.emplace(path, std::move(*key)).first->second;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const TFileStatus status = platform_.Status(path, /*followLinks=*/false);
    // A link resolves elsewhere, "." and ".." are not names, and a path that cannot be
    // looked at may resolve differently: those take the whole way.
    std::string key;
    if (name.empty() || name == "." || name == ".." || status.Kind == TFileKind::Link ||
        (!status.Exists() && status.Error != ENOENT)) {
        key = FileKey(path, platform_);
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

bool SameFile(const std::string& a, const std::string& b, TPlatform& platform) {
    const TFileStatus sa = platform.Status(a), sb = platform.Status(b);
    if (sa.Exists() && sb.Exists()) return sa.Device == sb.Device && sa.Inode == sb.Inode;
    return FileKey(a, platform) == FileKey(b, platform);
}

}  // namespace quill
