#include "platform/RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Exception.h"

namespace quill {

TRecordFile::~TRecordFile() {
    Abandon();
}

void TRecordFile::Assign(const std::string& fileName, const std::string& path) {
    if (IsOpen()) throw EInOutError("Cannot assign \"" + fileName_ + "\": file is open");
    fileName_ = fileName;
    path_ = path.empty() ? fileName : path;
}

void TRecordFile::Fail(const char* operation, const std::string& reason) const {
    throw EInOutError(std::string("Cannot ") + operation + " \"" + fileName_ + "\": " + reason,
                      fileName_, reason);
}

void TRecordFile::Fail(const char* operation, int error) const {
    Fail(operation, std::string(std::strerror(error)));
}

void TRecordFile::FailEndOfFile() const {
    Fail("read", std::string("end of file"));
}

void TRecordFile::RequireOpen(const char* operation) const {
    if (fd_ < 0) Fail(operation, std::string("file not open"));
}

void TRecordFile::Rewrite() {
    if (IsOpen()) Fail("create", EBUSY);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) Fail("create", errno);
    writing_ = true;
    readBuffer_.clear();
    readPos_ = readEnd_ = 0;
    // The buffer starts small and grows as the page does: most pages are small, and
    // several runs may go on at once.
    writeBuffer_.resize(kFirstBufferSize);
    writeLen_ = 0;
}

void TRecordFile::Reset() {
    if (IsOpen()) Fail("open", EBUSY);
    // Opening must not wait: a named pipe with no writer would block here for good. Pipes
    // are then read as streams (with no writer left they read as empty). Devices are
    // refused: one such as /dev/zero never ends, and a terminal would wait for typing.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) Fail("open", errno);
    struct stat st {};
    int error = ::fstat(fd_, &st) != 0 ? errno : 0;
    bool device = false;
    if (error == 0 && S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (error == 0 && !S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode))
        device = true;
    else if (error == 0 && ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0 || device) {
        ::close(fd_);
        fd_ = -1;
        if (device) Fail("open", std::string("not a regular file"));
        Fail("open", error);
    }
    writing_ = false;
    writeBuffer_.clear();
    writeLen_ = 0;
    // A small file gets a buffer its size (one more byte sees the end in one read).
    const bool small = S_ISREG(st.st_mode) && st.st_size >= 0 &&
                       static_cast<uint64_t>(st.st_size) < kReadBufferSize - kFirstBufferSize;
    readBuffer_.resize(
        (small ? static_cast<size_t>(st.st_size) + kFirstBufferSize : kReadBufferSize) +
        kReadSlack);
    readPos_ = readEnd_ = 0;
}

void TRecordFile::Seek(int64_t record) {
    RequireOpen("seek in");
    if (writing_) Flush();
    if (record < 0) Fail("seek in", EINVAL);
    if (::lseek(fd_, static_cast<off_t>(record), SEEK_SET) < 0) Fail("seek in", errno);
    readPos_ = readEnd_ = 0;
}

bool TRecordFile::Fill() {
    RequireOpen("read");
    if (writing_) Fail("read", EBADF);
    readPos_ = readEnd_ = 0;
    for (;;) {
        const ssize_t n = ::read(fd_, readBuffer_.data(), readBuffer_.size() - kReadSlack);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("read", errno);
        readEnd_ = static_cast<size_t>(n);
        return n > 0;
    }
}

void TRecordFile::WriteAll(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("write", errno);
        if (n == 0) Fail("write", EIO);
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void TRecordFile::Flush() {
    RequireOpen("write");
    if (!writing_) Fail("write", EBADF);
    const size_t len = writeLen_;
    // The buffer counts as handed over even when the system refuses it, so that the
    // error path does not try the same bytes again.
    writeLen_ = 0;
    WriteAll(reinterpret_cast<const char*>(writeBuffer_.data()), len);
}

void TRecordFile::WriteSlow(std::string_view bytes) {
    if (writeBuffer_.size() < kBufferSize) {
        RequireOpen("write");
        if (!writing_) Fail("write", EBADF);
        writeBuffer_.resize(
            std::min(kBufferSize, std::max(writeBuffer_.size() * 4, writeLen_ + bytes.size())));
        if (bytes.size() <= writeBuffer_.size() - writeLen_) {
            std::memcpy(writeBuffer_.data() + writeLen_, bytes.data(), bytes.size());
            writeLen_ += bytes.size();
            return;
        }
    }
    Flush();
    if (bytes.size() >= writeBuffer_.size()) {
        WriteAll(bytes.data(), bytes.size());
    } else {
        std::memcpy(writeBuffer_.data(), bytes.data(), bytes.size());
        writeLen_ = bytes.size();
    }
}

void TRecordFile::MakeRoom(size_t n) {
    RequireOpen("write");
    if (!writing_) Fail("write", EBADF);
    if (writeBuffer_.size() < kBufferSize)
        writeBuffer_.resize(
            std::min(kBufferSize, std::max(writeBuffer_.size() * 4, writeLen_ + n)));
    if (n > writeBuffer_.size() - writeLen_) Flush();
}

void TRecordFile::Close() {
    RequireOpen("close");
    int error = 0;
    if (writing_) {
        try {
            Flush();
        } catch (...) {
            ::close(fd_);
            fd_ = -1;
            throw;
        }
    }
    if (::close(fd_) != 0) error = errno;
    fd_ = -1;
    readBuffer_.clear();
    readBuffer_.shrink_to_fit();
    writeBuffer_.clear();
    writeBuffer_.shrink_to_fit();
    readPos_ = readEnd_ = writeLen_ = 0;
    if (error != 0) Fail("close", error);
}

void TRecordFile::Abandon() noexcept {
    if (fd_ < 0) return;
    if (writing_ && writeLen_ > 0) {
        const char* data = reinterpret_cast<const char*>(writeBuffer_.data());
        size_t size = writeLen_;
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    ::close(fd_);
    fd_ = -1;
    readPos_ = readEnd_ = writeLen_ = 0;
}

}  // namespace quill
