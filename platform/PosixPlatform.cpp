#include "platform/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace quill {

namespace {

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
    const int fd = ::open(path.c_str(), flags, 0666);
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
    struct stat st {};
    const int result = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return StatusOf(result, st);
}

int TPosixPlatform::ReadLink(const std::string& path, std::string& target) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno;
    target.assign(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    target.resize(static_cast<size_t>(n));
    return 0;
}

int TPosixPlatform::CheckWritable(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

int TPosixPlatform::Rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int TPosixPlatform::Remove(const std::string& path) noexcept {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int TPosixPlatform::MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

int TPosixPlatform::ListFolder(const std::string& path, std::vector<std::string>& names) {
    DIR* folder = ::opendir(path.empty() ? "." : path.c_str());
    if (!folder) return errno;
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
