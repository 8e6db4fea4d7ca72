#include "platform/WindowsPlatform.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/WindowsPaths.h"
#include "platform/WindowsText.h"

namespace quill {

using windows::CheckName;
using windows::ErrnoOf;
using windows::FullPath;
using windows::LastError;
using windows::Refined;
using windows::WidePath;

namespace {

// What the core names standard input (names::kStandardInputFile): the process's own
// handle here, as /dev/stdin is on a POSIX system.
constexpr std::string_view kStandardInput = "/dev/stdin";

HANDLE OpenForStatus(const std::wstring& path, bool followLinks) {
    return CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

int64_t Nanoseconds(const FILETIME& t) {
    // 100-nanosecond ticks since 1601.
    const int64_t ticks = static_cast<int64_t>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime);
    return (ticks - 116444736000000000) * 100;
}

// Opened as the link itself: links to files and folders and junctions are links; other
// reparse points (a cloud file, deduplicated data) are what they hold.
TFileKind ReparseKind(HANDLE h, TFileKind kind) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
                   (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
                    tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)
               ? TFileKind::Link
               : kind;
}

// The status of an open file, folder, pipe or device. The volume's serial number and the
// file's index come from the file itself (FileIdInfo), in the calls that the system
// answers from the open file alone: GetFileInformationByHandle asks the volume as well,
// every time, which Wine cannot for the drive of the whole Unix tree, and it fails there
// on a file given as standard input.
TFileStatus StatusOf(HANDLE h) {
    TFileStatus s;
    const DWORD type = GetFileType(h);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
        s.Kind = type == FILE_TYPE_CHAR ? TFileKind::Device : TFileKind::Pipe;
        s.Mode = 0666;
        return s;
    }
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
    FILE_ID_INFO id{};
    DWORD attributes = 0;
    FILETIME written{};
    if (GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) &&
        GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) &&
        GetFileInformationByHandleEx(h, FileIdInfo, &id, sizeof id)) {
        attributes = basic.FileAttributes;
        s.Size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
        written.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart);
        written.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart >> 32);
        // The low half of the serial is the one GetFileInformationByHandle gives; an index
        // of 128 bits (ReFS) is folded into 64.
        uint64_t half[2] = {};
        std::memcpy(half, id.FileId.Identifier, sizeof half);
        s.Device = static_cast<uint32_t>(id.VolumeSerialNumber);
        s.Inode = half[0] ^ half[1];
    } else {
        // Systems before Windows 8 have no FileIdInfo.
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(h, &info)) {
            s.Error = LastError();
            return s;
        }
        attributes = info.dwFileAttributes;
        s.Size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
        written = info.ftLastWriteTime;
        s.Device = info.dwVolumeSerialNumber;
        s.Inode = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    }
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    s.Kind = folder ? TFileKind::Folder : TFileKind::File;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) s.Kind = ReparseKind(h, s.Kind);
    if (folder) s.Size = 0;
    s.ModifiedNs = Nanoseconds(written);
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    s.Mode = (folder ? 0777 : 0666) & (readOnly ? ~0222u : ~0u);
    return s;
}

class TWindowsFile : public TOpenFile {
  public:
    explicit TWindowsFile(HANDLE h) : h_(h) {}
    ~TWindowsFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    int64_t Read(void* buffer, size_t size, int& error) override {
        DWORD n = 0;
        error = 0;
        if (ReadFile(h_, buffer, static_cast<DWORD>(std::min<size_t>(size, 1 << 30)), &n, nullptr))
            return n;
        // A pipe whose writer has gone has simply ended.
        const DWORD why = GetLastError();
        if (why == ERROR_BROKEN_PIPE || why == ERROR_HANDLE_EOF) return 0;
        error = ErrnoOf(why);
        return -1;
    }
    int64_t Write(const void* data, size_t size, int& error) override {
        DWORD n = 0;
        error = 0;
        if (WriteFile(h_, data, static_cast<DWORD>(std::min<size_t>(size, 1 << 30)), &n, nullptr))
            return n;
        error = LastError();
        return -1;
    }
    int64_t Seek(int64_t offset, TFrom from, int& error) override {
        const DWORD method = from == kFromStart     ? FILE_BEGIN
                             : from == kFromCurrent ? FILE_CURRENT
                                                    : FILE_END;
        LARGE_INTEGER to{}, at{};
        to.QuadPart = offset;
        error = SetFilePointerEx(h_, to, &at, method) ? 0 : LastError();
        return error == 0 ? at.QuadPart : -1;
    }
    int Resize(int64_t size) override {
        // As ftruncate: the position stays where it was.
        int error = 0;
        const int64_t at = Seek(0, kFromCurrent, error);
        if (at < 0 || Seek(size, kFromStart, error) < 0) return error;
        const int result = SetEndOfFile(h_) ? 0 : LastError();
        Seek(at, kFromStart, error);
        return result;
    }
    TFileStatus Status() override { return StatusOf(h_); }
    int SetMode(uint32_t mode) override {
        // Windows keeps one permission of these: whether the file may be written.
        FILE_BASIC_INFO info{};
        if (!GetFileInformationByHandleEx(h_, FileBasicInfo, &info, sizeof info))
            return LastError();
        info.FileAttributes = (info.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) |
                              ((mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : 0);
        if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        return SetFileInformationByHandle(h_, FileBasicInfo, &info, sizeof info) ? 0 : LastError();
    }
    int Close() override {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) ? 0 : LastError();
    }

  private:
    HANDLE h_;
};

// Names in the one case that Windows compares them in.
std::wstring Lower(std::wstring text) {
    if (!text.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.data(),
                      static_cast<int>(text.size()), text.data(), static_cast<int>(text.size()),
                      nullptr, nullptr, 0);
    return text;
}

// The final path of an existing file or folder, links followed and names spelt as they
// are stored, without the "\\?\" the system puts before it; empty when it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
    const HANDLE h =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = 0;
    for (;;) {
        n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n < final.size()) break;
        final.resize(n + 1);
    }
    CloseHandle(h);
    final.resize(n);
    if (final.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + final.substr(8);
    if (final.starts_with(L"\\\\?\\")) return final.substr(4);
    return final;
}

}  // namespace

TPlatform& TPlatform::Real() {
    static TWindowsPlatform platform;
    return platform;
}

std::unique_ptr<TOpenFile> TWindowsPlatform::Open(const std::string& path, TOpenMode mode,
                                                  int& error) {
    if (path == kStandardInput && mode == TOpenMode::Read) {
        HANDLE h = INVALID_HANDLE_VALUE;
        if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_INPUT_HANDLE),
                             GetCurrentProcess(), &h, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            error = LastError();
            return nullptr;
        }
        error = 0;
        return std::make_unique<TWindowsFile>(h);
    }
    if ((error = CheckName(path)) != 0) return nullptr;
    DWORD access = GENERIC_WRITE;
    DWORD disposition = CREATE_ALWAYS;
    switch (mode) {
        case TOpenMode::Read:
            access = GENERIC_READ;
            disposition = OPEN_EXISTING;
            break;
        case TOpenMode::Write:
            disposition = OPEN_EXISTING;
            break;
        case TOpenMode::Create:
            break;
        case TOpenMode::CreateReadWrite:
            access |= GENERIC_READ;
            break;
        case TOpenMode::CreateNew:
            disposition = CREATE_NEW;
            break;
    }
    const std::wstring wide = WidePath(path);
    // Shared in every way, as POSIX files are: a file being read may be renamed over.
    // A folder opens for reading, as on POSIX systems, and then says it is one.
    const DWORD flags =
        mode == TOpenMode::Read ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
    const HANDLE h =
        CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = Refined(LastError(), wide);
        return nullptr;
    }
    error = 0;
    return std::make_unique<TWindowsFile>(h);
}

TFileStatus TWindowsPlatform::Status(const std::string& path, bool followLinks) {
    TFileStatus s;
    if (path == kStandardInput) {
        // A stream, read once: what a redirected file holds is read by the run alone.
        s.Kind = TFileKind::Pipe;
        return s;
    }
    if ((s.Error = CheckName(path)) != 0) return s;
    const std::wstring wide = WidePath(path);
    const HANDLE h = OpenForStatus(wide, followLinks);
    if (h == INVALID_HANDLE_VALUE) {
        s.Error = Refined(LastError(), wide);
        return s;
    }
    s = StatusOf(h);
    CloseHandle(h);
    return s;
}

int TWindowsPlatform::ReadLink(const std::string&, std::string&) {
    // Links are followed by the system itself; their keys come from SystemFileKey.
    return EINVAL;
}

int TWindowsPlatform::CheckWritable(const std::string& path) {
    if (const int error = CheckName(path)) return error;
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    return (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? EACCES
               : 0;
}

int TWindowsPlatform::Rename(const std::string& from, const std::string& to) {
    if (const int error = CheckName(to)) return error;
    // One step, and on the disk before it is answered: the page is never half there.
    const std::wstring target = WidePath(to);
    return MoveFileExW(WidePath(from).c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : Refined(LastError(), target);
}

int TWindowsPlatform::Remove(const std::string& path) noexcept {
    try {
        const std::wstring wide = WidePath(path);
        return DeleteFileW(wide.c_str()) ? 0 : Refined(LastError(), wide);
    } catch (...) {
        return ENOMEM;
    }
}

int TWindowsPlatform::MakeFolder(const std::string& path) {
    if (const int error = CheckName(path)) return error;
    const std::wstring wide = WidePath(path);
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : Refined(LastError(), wide);
}

int TWindowsPlatform::ListFolder(const std::string& path, std::vector<std::string>& names) {
    if (const int error = CheckName(path)) return error;
    std::wstring pattern = WidePath(path);
    const DWORD attributes = GetFileAttributesW(pattern.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    if (!pattern.ends_with(L'\\')) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : Refined(ErrnoOf(error), pattern);
    }
    int error = 0;
    do {
        const std::wstring_view name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(find, &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES) error = LastError();
    FindClose(find);
    return error;
}

std::string TWindowsPlatform::CurrentFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (n == 0) return ".";
        if (n < folder.size()) {
            folder.resize(n);
            return Narrow(folder);
        }
        folder.resize(n);
    }
}

std::string TWindowsPlatform::TemporaryFolder() {
    wchar_t folder[MAX_PATH + 2] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return ".";
    while (n > 3 && folder[n - 1] == L'\\') --n;  // "C:\" stays a root
    return Narrow(std::wstring_view(folder, n));
}

int TWindowsPlatform::WriteStandardOutput(const void* data, size_t size) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = 0;
        if (!WriteFile(out, p, static_cast<DWORD>(std::min<size_t>(size, 1 << 30)), &n, nullptr))
            return LastError();
        if (n == 0) return EIO;
        p += n;
        size -= n;
    }
    return 0;
}

unsigned TWindowsPlatform::ProcessorCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

double TWindowsPlatform::Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::optional<std::string> TWindowsPlatform::SystemFileKey(const std::string& path) {
    if (path == kStandardInput || CheckName(path) != 0) return path;
    std::wstring full = FullPath(WidePath(path));
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    // A name in a folder is the folder's key and the name: a name in one case, and each
    // folder resolved once, however many pages and pictures it gets.
    const size_t cut = full.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut + 1 >= full.size()) return Narrow(FolderKey(full));
    const std::wstring folder = full.substr(0, cut > 0 && full[cut - 1] == L':' ? cut + 1 : cut);
    return Narrow(FolderKey(folder) + L'/' + Lower(full.substr(cut + 1)));
}

std::wstring TWindowsPlatform::FolderKey(const std::wstring& folder) {
    {
        std::lock_guard<std::mutex> lock(keysLock_);
        if (const auto it = folderKeys_.find(folder); it != folderKeys_.end()) return it->second;
    }
    // The deepest folder of the path that exists, as the system resolves it (links,
    // junctions, short names and case), and the names below it as they are given: a key
    // that stays the same when those are made later.
    std::wstring at = folder;
    std::wstring rest;
    std::wstring final;
    for (;;) {
        final = FinalPath(at);
        if (!final.empty()) break;
        size_t cut = at.find_last_of(L'\\');
        if (cut == std::wstring::npos || cut + 1 >= at.size()) {
            final = at;
            break;
        }
        rest.insert(0, at.substr(cut));
        // "C:\x" lies in "C:\", not in "C:", the current folder of drive C.
        at.resize(cut > 0 && at[cut - 1] == L':' ? cut + 1 : cut);
    }
    while (final.size() > 1 && final.back() == L'\\') final.pop_back();
    std::wstring key = Lower(final + rest);
    std::replace(key.begin(), key.end(), L'\\', L'/');
    std::lock_guard<std::mutex> lock(keysLock_);
    return folderKeys_.emplace(folder, std::move(key)).first->second;
}

std::string TWindowsPlatform::KeyName(std::string_view name) {
    return Narrow(Lower(Widen(name)));
}

}  // namespace quill
