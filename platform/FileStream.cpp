#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Exception.h"

namespace quill {

namespace {
std::string Reason() {
    return std::strerror(errno);
}
// A failure of this file: the message names it, and the file and reason travel apart too.
template <class E>
[[noreturn]] void Fail(const char* what, const std::string& fileName, const std::string& reason) {
    throw E(std::string(what) + " \"" + fileName + "\": " + reason, fileName, reason);
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
    switch (mode) {
        case fmCreate:
            fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd_ < 0) Fail<EFCreateError>("Cannot create file", fileName, Reason());
            break;
        case fmOpenRead:
        case fmOpenWrite:
            fd_ = ::open(fileName.c_str(), (mode == fmOpenRead ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
            if (fd_ < 0) Fail<EFOpenError>("Cannot open file", fileName, Reason());
            break;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        Fail<EFOpenError>("Cannot open file", fileName, std::strerror(EISDIR));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

void TFileStream::Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) Fail<EWriteError>("Cannot close file", fileName_, Reason());
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writeError_ = n < 0 ? errno : 0;
            break;
        }
        done += n;
    }
    return done;
}

void TFileStream::FailWrite() {
    if (writeError_ == 0) TStream::FailWrite();
    Fail<EWriteError>("Cannot write file", fileName_, std::strerror(writeError_));
}

int64_t TFileStream::Seek(int64_t offset, int origin) {
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) Fail<EStreamError>("Cannot seek in file", fileName_, Reason());
    return at;
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        Fail<EStreamError>("Cannot resize file", fileName_, Reason());
    if (Position() > size) Seek(size, soBeginning);
}

}  // namespace quill
