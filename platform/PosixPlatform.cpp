#include "platform/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace quill {

namespace {

// A folder on the way to a long path is only walked through, so it needs to be searchable,
// not readable, as a path given whole needs.
#if defined(O_PATH)
constexpr int kFolderOnTheWay = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int kFolderOnTheWay = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderOnTheWay = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// A path as one system call takes it. A path shorter than PATH_MAX is given whole; a
// longer one is walked as find and fts walk a deep tree: the folder of its first names,
// as many as fit, is opened, then the next names below that one, and so on, and the call
// is given the last folder and the names left. So a file is reached however deep it lies,
// with the same answers (links followed, ".." taken from the folder reached, search
// permission needed on every folder) as the path given whole; only a single name longer
// than the system takes fails, with ENAMETOOLONG. Allocates nothing, so that removing
// temporary files at an interrupt may use it.
class TReach {
  public:
    // Points into path, which must outlive it.
    explicit TReach(const std::string& path) : rest_(path.c_str()) {
        size_t left = path.size();
        while (left >= PATH_MAX) {
            size_t cut = PATH_MAX - 1;
            while (cut > 0 && rest_[cut] != '/') --cut;
            if (cut == 0) {
                error_ = ENAMETOOLONG;
                return;
            }
            char head[PATH_MAX];
            std::memcpy(head, rest_, cut);
            head[cut] = '\0';
            const int folder = ::openat(Folder(), head, kFolderOnTheWay);
            if (folder < 0) {
                error_ = errno;
                return;
            }
            if (folder_ >= 0) ::close(folder_);
            folder_ = folder;
            for (; rest_[cut] == '/'; ++cut) {
            }
            rest_ += cut;
            left -= cut;
        }
        if (*rest_ == '\0' && left != path.size()) rest_ = ".";
    }
    ~TReach() {
        if (folder_ >= 0) ::close(folder_);
    }
    TReach(const TReach&) = delete;
    TReach& operator=(const TReach&) = delete;

    // Why the path cannot be reached, or 0.
    int Error() const { return error_; }
    int Folder() const { return folder_ >= 0 ? folder_ : AT_FDCWD; }
    const char* Rest() const { return rest_; }

  private:
    int folder_ = -1;
    int error_ = 0;
    const char* rest_;
};

TFileStatus StatusOf(int result, const struct stat& st) {
    TFileStatus s;
    if (result != 0) {
        s.Error = errno;
        return s;
    }
    s.Kind = S_ISREG(st.st_mode)                            ? TFileKind::File
             : S_ISDIR(st.st_mode)                          ? TFileKind::Folder
             : S_ISLNK(st.st_mode)                          ? TFileKind::Link
             : S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ? TFileKind::Pipe
                                                            : TFileKind::Device;
    s.Size = static_cast<uint64_t>(st.st_size);
    s.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.Device = static_cast<uint64_t>(st.st_dev);
    s.Inode = static_cast<uint64_t>(st.st_ino);
    s.Mode = static_cast<uint32_t>(st.st_mode & 07777);
    return s;
}

class TPosixFile : public TOpenFile {
  public:
    explicit TPosixFile(int fd) : fd_(fd) {}
    ~TPosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    int64_t Read(void* buffer, size_t size, int& error) override {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size);
            if (n < 0 && errno == EINTR) continue;
            error = n < 0 ? errno : 0;
            return n;
        }
    }
    int64_t Write(const void* data, size_t size, int& error) override {
        for (;;) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            error = n < 0 ? errno : 0;
            return n;
        }
    }
    int64_t Seek(int64_t offset, TFrom from, int& error) override {
        const int whence = from == kFromStart     ? SEEK_SET
                           : from == kFromCurrent ? SEEK_CUR
                                                  : SEEK_END;
        const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
        error = at < 0 ? errno : 0;
        return at;
    }
    int Resize(int64_t size) override {
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
    }
    TFileStatus Status() override {
        struct stat st {};
        const int result = ::fstat(fd_, &st);
        return StatusOf(result, st);
    }
    int SetMode(uint32_t mode) override {
        return ::fchmod(fd_, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
    }
    int Close() override {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

}  // namespace

TPlatform& TPlatform::Real() {
    static TPosixPlatform platform;
    return platform;
}

std::unique_ptr<TOpenFile> TPosixPlatform::Open(const std::string& path, TOpenMode mode,
                                                int& error) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case TOpenMode::Read:
            // Opening must not wait: a named pipe with no writer would block here for good.
            // Pipes are then read as streams (with no writer left they read as empty).
            flags |= O_RDONLY | O_NONBLOCK;
            break;
        case TOpenMode::Write:
            flags |= O_WRONLY;
            break;
        case TOpenMode::Create:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case TOpenMode::CreateReadWrite:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case TOpenMode::CreateNew:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
    }
    const TReach at(path);
    if (at.Error() != 0) {
        error = at.Error();
        return nullptr;
    }
    const int fd = ::openat(at.Folder(), at.Rest(), flags, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (mode == TOpenMode::Read && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    error = 0;
    return std::make_unique<TPosixFile>(fd);
}

TFileStatus TPosixPlatform::Status(const std::string& path, bool followLinks) {
    const TReach at(path);
    struct stat st {};
    errno = at.Error();
    const int result =
        errno != 0 ? -1
                   : ::fstatat(at.Folder(), at.Rest(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    return StatusOf(result, st);
}

int TPosixPlatform::ReadLink(const std::string& path, std::string& target) {
    const TReach at(path);
    if (at.Error() != 0) return at.Error();
    struct stat st {};
    if (::fstatat(at.Folder(), at.Rest(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    target.assign(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlinkat(at.Folder(), at.Rest(), target.data(), target.size());
    if (n < 0) return errno;
    target.resize(static_cast<size_t>(n));
    return 0;
}

int TPosixPlatform::CheckWritable(const std::string& path) {
    const TReach at(path);
    if (at.Error() != 0) return at.Error();
    return ::faccessat(at.Folder(), at.Rest(), W_OK, 0) == 0 ? 0 : errno;
}

int TPosixPlatform::Rename(const std::string& from, const std::string& to) {
    const TReach source(from), target(to);
    if (source.Error() != 0 || target.Error() != 0)
        return source.Error() != 0 ? source.Error() : target.Error();
    return ::renameat(source.Folder(), source.Rest(), target.Folder(), target.Rest()) == 0 ? 0
                                                                                           : errno;
}

int TPosixPlatform::Remove(const std::string& path) noexcept {
    const TReach at(path);
    if (at.Error() != 0) return at.Error();
    return ::unlinkat(at.Folder(), at.Rest(), 0) == 0 ? 0 : errno;
}

int TPosixPlatform::MakeFolder(const std::string& path) {
    const TReach at(path);
    if (at.Error() != 0) return at.Error();
    return ::mkdirat(at.Folder(), at.Rest(), 0777) == 0 ? 0 : errno;
}

int TPosixPlatform::ListFolder(const std::string& path, std::vector<std::string>& names) {
    const std::string folderPath = path.empty() ? "." : path;
    const TReach at(folderPath);  // points into folderPath
    if (at.Error() != 0) return at.Error();
    const int fd = ::openat(at.Folder(), at.Rest(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    DIR* folder = ::fdopendir(fd);
    if (!folder) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (!entry) {
            error = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(folder);
    return error;
}

std::string TPosixPlatform::CurrentFolder() {
    std::string folder(4096, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) return ".";
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::char_traits<char>::length(folder.c_str()));
    return folder;
}

std::string TPosixPlatform::TemporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

int TPosixPlatform::WriteStandardOutput(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

unsigned TPosixPlatform::ProcessorCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

double TPosixPlatform::Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace quill
