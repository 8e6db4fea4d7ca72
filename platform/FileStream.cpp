#include "platform/FileStream.h"

#include <cerrno>

#include "platform/Exception.h"

namespace quill {

namespace {
// A failure of this file: the message names it, and the file and reason travel apart too.
template <class E>
[[noreturn]] void Fail(const char* what, const std::string& fileName, const std::string& reason) {
    throw E(std::string(what) + " \"" + fileName + "\": " + reason, fileName, reason);
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, TFileMode mode, TPlatform& platform)
    : fileName_(fileName) {
    int error = 0;
    switch (mode) {
        case fmCreate:
            file_ = platform.Open(fileName, TOpenMode::CreateReadWrite, error);
            if (!file_)
                Fail<EFCreateError>("Cannot create file", fileName, TPlatform::Reason(error));
            break;
        case fmOpenRead:
        case fmOpenWrite:
            file_ = platform.Open(fileName, mode == fmOpenRead ? TOpenMode::Read : TOpenMode::Write,
                                  error);
            if (!file_) Fail<EFOpenError>("Cannot open file", fileName, TPlatform::Reason(error));
            break;
    }
    if (file_->Status().IsFolder()) {
        file_.reset();
        Fail<EFOpenError>("Cannot open file", fileName, TPlatform::Reason(EISDIR));
    }
}

TFileStream::~TFileStream() = default;

void TFileStream::Close() {
    if (!file_) return;
    const int error = file_->Close();
    file_.reset();
    if (error != 0) Fail<EWriteError>("Cannot close file", fileName_, TPlatform::Reason(error));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        int error = 0;
        const int64_t n = file_->Read(p + done, static_cast<size_t>(count - done), error);
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < count) {
        int error = 0;
        const int64_t n = file_->Write(p + done, static_cast<size_t>(count - done), error);
        if (n <= 0) {
            writeError_ = error;
            break;
        }
        done += n;
    }
    return done;
}

void TFileStream::FailWrite() {
    if (writeError_ == 0) TStream::FailWrite();
    Fail<EWriteError>("Cannot write file", fileName_, TPlatform::Reason(writeError_));
}

int64_t TFileStream::Seek(int64_t offset, int origin) {
    const TOpenFile::TFrom from = origin == soBeginning ? TOpenFile::kFromStart
                                  : origin == soCurrent ? TOpenFile::kFromCurrent
                                                        : TOpenFile::kFromEnd;
    int error = 0;
    const int64_t at = file_->Seek(offset, from, error);
    if (at < 0) Fail<EStreamError>("Cannot seek in file", fileName_, TPlatform::Reason(error));
    return at;
}

void TFileStream::SetSize(int64_t size) {
    if (const int error = file_->Resize(size))
        Fail<EStreamError>("Cannot resize file", fileName_, TPlatform::Reason(error));
    if (Position() > size) Seek(size, soBeginning);
}

}  // namespace quill
