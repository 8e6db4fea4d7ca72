#include "platform/WindowsPaths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/Platform.h"
#include "platform/WindowsText.h"

namespace quill::windows {

namespace {

// A part of a path that Windows does not take as a file's own name: one of its devices
// ("con", "nul.htm", "com1"), a character it keeps for other uses (":" would write a
// hidden stream of another file), or a trailing "." or space, which it drops silently.
bool ForbiddenPart(std::string_view part) {
    if (part.empty() || part == "." || part == "..") return false;
    if (part.back() == '.' || part.back() == ' ') return true;
    for (const char c : part)
        if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|?*", c) != nullptr)
            return true;
    std::string base(part.substr(0, part.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '0' && base[3] <= '9';
}

constexpr size_t kLongestName = 255;

}  // namespace

// Windows's error as the errno value that a POSIX system gives for the same thing, so
// that messages read alike on both.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_UNIT:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return kForbiddenName;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

int LastError() {
    return ErrnoOf(GetLastError());
}

// Windows says "not found" where a folder of the path is a file, and "denied" for a
// folder where a file is wanted; POSIX says ENOTDIR and EISDIR, and callers tell them
// apart.
int Refined(int error, const std::wstring& path) {
    if (error == EACCES) {
        const DWORD a = GetFileAttributesW(path.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? EISDIR : error;
    }
    if (error != ENOENT) return error;
    std::wstring at = path;
    for (size_t cut; (cut = at.find_last_of(L'\\')) != std::wstring::npos && cut > 0;) {
        at.resize(cut);
        const DWORD a = GetFileAttributesW(at.c_str());
        if (a != INVALID_FILE_ATTRIBUTES) return a & FILE_ATTRIBUTE_DIRECTORY ? ENOENT : ENOTDIR;
    }
    return ENOENT;
}

// 0, ENAMETOOLONG for a name too long, or kForbiddenName when a part of path is no name
// Windows allows. Paths in the system's own name spaces ("\\?\", "\\.\") are taken as
// they are meant.
int CheckName(std::string_view path) {
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) return 0;
    size_t at =
        path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<uint8_t>(path[0])) ? 2 : 0;
    while (at <= path.size()) {
        const size_t end = std::min(path.find_first_of(kPathSeparators, at), path.size());
        const std::string_view part = path.substr(at, end - at);
        if (ForbiddenPart(part)) return kForbiddenName;
        // Windows takes 255 UTF-16 units a name; past them it says the path is not there
        // (under Wine) or no name (NTFS), where the name is too long.
        if (part.size() > kLongestName && Widen(part).size() > kLongestName) return ENAMETOOLONG;
        at = end + 1;
    }
    return 0;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return path;
        if (n < full.size()) {
            full.resize(n);
            return full;
        }
        full.resize(n);
    }
}

// The path for the wide API: "\" between folders, and one too long for the old limit
// as a "\\?\" full path, which has none.
std::wstring WidePath(const std::string& path) {
    std::wstring wide = Widen(path.empty() ? "." : path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
    const std::wstring full = FullPath(wide);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace quill::windows
