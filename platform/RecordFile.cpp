#include "platform/RecordFile.h"

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
    if (!file_) Fail(operation, std::string("file not open"));
}

void TRecordFile::Rewrite() {
    if (IsOpen()) Fail("create", EBUSY);
    int error = 0;
    file_ = platform_.Open(path_, TOpenMode::Create, error);
    if (!file_) Fail("create", error);
    writing_ = true;
    readBuffer_.Clear();
    readPos_ = readEnd_ = 0;
    // The buffer starts small and grows as the page does: most pages are small, and
    // several runs may go on at once.
    writeBuffer_.Resize(kFirstBufferSize);
    writeLen_ = 0;
}

void TRecordFile::Reset() {
    if (IsOpen()) Fail("open", EBUSY);
    // Opening does not wait for a pipe's writer (with none left a pipe reads as empty).
    // Devices are refused: one such as /dev/zero never ends, and a terminal would wait for
    // typing.
    int error = 0;
    file_ = platform_.Open(path_, TOpenMode::Read, error);
    if (!file_) Fail("open", error);
    const TFileStatus st = file_->Status();
    error = st.Error != 0 ? st.Error : st.Kind == TFileKind::Folder ? EISDIR : 0;
    if (error != 0 || st.Kind == TFileKind::Device) {
        file_.reset();
        if (error == 0) Fail("open", std::string("not a regular file"));
        Fail("open", error);
    }
    writing_ = false;
    writeBuffer_.Clear();
    writeLen_ = 0;
    // A small file gets a buffer its size (one more byte sees the end in one read).
    const bool small = st.Kind == TFileKind::File && st.Size < kReadBufferSize - kFirstBufferSize;
    readBuffer_.Resize((small ? static_cast<size_t>(st.Size) + kFirstBufferSize : kReadBufferSize) +
                       kReadSlack);
    readPos_ = readEnd_ = 0;
}

void TRecordFile::Seek(int64_t record) {
    RequireOpen("seek in");
    if (writing_) Flush();
    if (record < 0) Fail("seek in", EINVAL);
    int error = 0;
    if (file_->Seek(record, TOpenFile::kFromStart, error) < 0) Fail("seek in", error);
    readPos_ = readEnd_ = 0;
}

bool TRecordFile::Fill() {
    RequireOpen("read");
    if (writing_) Fail("read", EBADF);
    readPos_ = readEnd_ = 0;
    int error = 0;
    const int64_t n = file_->Read(readBuffer_.data(), readBuffer_.size() - kReadSlack, error);
    if (n < 0) Fail("read", error);
    readEnd_ = static_cast<size_t>(n);
    // The slack after the bytes read is looked at, never used: it holds no stale garbage.
    std::memset(readBuffer_.data() + readEnd_, 0, kReadSlack);
    return n > 0;
}

void TRecordFile::WriteAll(const char* data, size_t size) {
    while (size > 0) {
        int error = 0;
        const int64_t n = file_->Write(data, size, error);
        if (n < 0) Fail("write", error);
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
        writeBuffer_.Resize(
            std::min(kBufferSize, std::max(writeBuffer_.size() * 4, writeLen_ + bytes.size())),
            writeLen_);
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
        writeBuffer_.Resize(std::min(kBufferSize, std::max(writeBuffer_.size() * 4, writeLen_ + n)),
                            writeLen_);
    if (n > writeBuffer_.size() - writeLen_) Flush();
}

void TRecordFile::Close() {
    RequireOpen("close");
    if (writing_) {
        try {
            Flush();
        } catch (...) {
            file_.reset();
            throw;
        }
    }
    const int error = file_->Close();
    file_.reset();
    readBuffer_.Clear();
    writeBuffer_.Clear();
    readPos_ = readEnd_ = writeLen_ = 0;
    if (error != 0) Fail("close", error);
}

void TRecordFile::Abandon() noexcept {
    if (!file_) return;
    if (writing_ && writeLen_ > 0) {
        const char* data = reinterpret_cast<const char*>(writeBuffer_.data());
        size_t size = writeLen_;
        while (size > 0) {
            int error = 0;
            const int64_t n = file_->Write(data, size, error);
            if (n <= 0) break;
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    file_.reset();
    readPos_ = readEnd_ = writeLen_ = 0;
}

}  // namespace quill
