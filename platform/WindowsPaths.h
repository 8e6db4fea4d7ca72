#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace quill::windows {

// How the Windows platform speaks to the API: its errors as the errno values a POSIX
// system gives for the same thing (so messages read alike on both), and paths as the
// wide API takes them.

// Windows's error as errno; LastError: GetLastError()'s.
int ErrnoOf(DWORD error);
int LastError();

// Windows says "not found" where a folder of the path is a file, and "denied" for a
// folder where a file is wanted; POSIX says ENOTDIR and EISDIR, and callers tell them
// apart. error refined by looking at path.
int Refined(int error, const std::wstring& path);

// 0, ENAMETOOLONG for a name too long, or kForbiddenName when a part of path is no name
// Windows allows (a device such as "con", a reserved character, a trailing "." or space).
int CheckName(std::string_view path);

// The full path of path, or path itself when the system cannot give one.
std::wstring FullPath(const std::wstring& path);

// The path for the wide API: "\" between folders, and one too long for the old limit
// as a "\\?\" full path, which has none.
std::wstring WidePath(const std::string& path);

}  // namespace quill::windows
