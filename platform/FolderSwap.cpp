#include "platform/FolderSwap.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>

#include "platform/WindowsText.h"
#else
#include <fcntl.h>
#include <stdio.h>
#endif

namespace quill {

#ifdef _WIN32

int SwapFolderIntoPlace(const std::string& staged, const std::string& path) {
    const std::wstring from = Widen(staged), to = Widen(path), aside = from + L".old";
    if (MoveFileExW(from.c_str(), to.c_str(), 0)) return 0;
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) return EIO;
    // No exchange here: the old folder goes aside for the moment it takes.
    if (!MoveFileExW(to.c_str(), aside.c_str(), 0)) return EACCES;
    if (!MoveFileExW(from.c_str(), to.c_str(), 0)) {
        MoveFileExW(aside.c_str(), to.c_str(), 0);
        return EACCES;
    }
    return MoveFileExW(aside.c_str(), from.c_str(), 0) ? 0 : EIO;
}

#else

int SwapFolderIntoPlace(const std::string& staged, const std::string& path) {
    if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno == EEXIST &&
        ::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0)
        return 0;
    return errno;
}

#endif

}  // namespace quill
