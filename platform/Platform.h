#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

// What ends a folder's name in a path: "/", and on Windows "\" as well.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

// An error number beyond errno's: a name the system does not allow for a file (on
// Windows a device's name such as "con.htm", or one with ":" or "?" in it).
inline constexpr int kForbiddenName = 0x4E414D45;

// What the system says of one name. Error is 0 or the system's error number (an errno
// value on every system, so that messages read alike everywhere).
enum class TFileKind { None, File, Folder, Link, Pipe, Device };
struct TFileStatus {
    int Error = 0;
    TFileKind Kind = TFileKind::None;
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;  // since the epoch
    uint64_t Device = 0;     // the volume, and the file on it: one file, one pair
    uint64_t Inode = 0;
    uint32_t Mode = 0;  // permission bits
    bool Exists() const { return Error == 0; }
    bool IsFolder() const { return Error == 0 && Kind == TFileKind::Folder; }
    bool IsFile() const { return Error == 0 && Kind == TFileKind::File; }
};

// A file opened through the platform. Each call answers its error number through error
// (0 on success); the destructor closes the file unchecked.
class TOpenFile {
  public:
    virtual ~TOpenFile() = default;
    // Bytes moved: up to size, 0 at the end of a file being read, -1 on an error.
    virtual int64_t Read(void* buffer, size_t size, int& error) = 0;
    virtual int64_t Write(const void* data, size_t size, int& error) = 0;
    enum TFrom { kFromStart, kFromCurrent, kFromEnd };
    // The new position, or -1 on an error.
    virtual int64_t Seek(int64_t offset, TFrom from, int& error) = 0;
    virtual int Resize(int64_t size) = 0;
    virtual TFileStatus Status() = 0;
    virtual int SetMode(uint32_t mode) = 0;
    // Closed whatever it answers: a write the system refuses only now fails here.
    virtual int Close() = 0;
};

// How a file is opened.
enum class TOpenMode {
    Read,             // an existing file or pipe, without waiting for a pipe's writer
    Write,            // an existing file, write only, kept as it is
    Create,           // created or emptied, write only
    CreateReadWrite,  // created or emptied, read and write
    CreateNew,        // created, write only; fails with EEXIST when the name is taken
};

// Everything the program asks of the operating system: files and folders, names and
// their keys, the processor count and the clock. One real implementation per system,
// and one in memory for tests (MemoryPlatform.h). Paths are UTF-8 bytes with "/"
// between folders (the Windows implementation takes "\" too).
class TPlatform {
  public:
    virtual ~TPlatform() = default;

    // The platform of this process: the operating system's.
    static TPlatform& Real();

    virtual std::unique_ptr<TOpenFile> Open(const std::string& path, TOpenMode mode,
                                            int& error) = 0;
    // followLinks: stat rather than lstat.
    virtual TFileStatus Status(const std::string& path, bool followLinks = true) = 0;
    virtual int ReadLink(const std::string& path, std::string& target) = 0;
    // Whether the file may be written by this process (0), else why not.
    virtual int CheckWritable(const std::string& path) = 0;
    // Replaces to, if it exists, in one step.
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& path) noexcept = 0;
    // One folder; EEXIST when the name is taken.
    virtual int MakeFolder(const std::string& path) = 0;
    // The names in a folder, "." and ".." left out, in no particular order.
    virtual int ListFolder(const std::string& path, std::vector<std::string>& names) = 0;
    virtual std::string CurrentFolder() = 0;
    // Where temporary files of the program's own go ($TMPDIR, else /tmp).
    virtual std::string TemporaryFolder() = 0;
    // Writes all of data to standard output; answers the error, if any.
    virtual int WriteStandardOutput(const void* data, size_t size) = 0;
    virtual unsigned ProcessorCount() = 0;
    // A steady clock, in seconds from some fixed moment.
    virtual double Now() = 0;

    // The key of FileIdentity.h where the system spells one itself (Windows: the path it
    // resolves to, in one case); nullopt, the default: resolved through Status and
    // ReadLink, link by link, as a POSIX system resolves a name.
    virtual std::optional<std::string> SystemFileKey(const std::string& path);
    // A file name as the keys spell it: the same, or in lower case where the system tells
    // no names apart by case.
    virtual std::string KeyName(std::string_view name);

    // The system's words for an error number: "No such file or directory".
    static std::string Reason(int error);
    // The folder and all folders above it that are missing; 0 when it is there.
    int MakeFolders(const std::string& path);
};

}  // namespace quill
