#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteBuffer.h"
#include "platform/Platform.h"

namespace quill {

// A file of 1-byte records with the input/output check after every operation: a failed
// operation raises EInOutError whose message names the file and the reason, for example
// `Cannot read "x.$w": end of file`.
//
// Reads and writes go through a buffer, which changes neither the bytes nor their order.
// Where an error shows up: a read error surfaces at the read (or end-of-file test) that
// needs the failing bytes, as without a buffer. A write error surfaces when the buffer
// is handed to the system: at a later Write that fills the buffer, at Flush, or at Close
// at the latest. Callers that do something visible besides writing this file (creating
// other files, say) call Flush first, so a failed write still stops them before that.
// Abandon (also run by the destructor) hands over what is buffered without checking, so
// on an error path the file holds everything written before the error.
class TRecordFile {
  public:
    // The page's buffer grows from kFirstBufferSize to kBufferSize as the page does.
    static constexpr size_t kBufferSize = 1 << 20;
    static constexpr size_t kFirstBufferSize = 1 << 16;
    // Reads go through a smaller buffer (a smaller file gets one of its size): the bytes
    // the system has just copied are still in the processor's cache when they are used.
    static constexpr size_t kReadBufferSize = 1 << 17;
    // Bytes past the end of Buffered()'s view that may be loaded (their values mean
    // nothing), so that a search can take whole blocks of bytes without checking the end.
    static constexpr size_t kReadSlack = 128;

    explicit TRecordFile(TPlatform& platform = TPlatform::Real()) : platform_(platform) {}
    ~TRecordFile();
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;

    // Binds the file to a name; the file must be closed. With a path, the file opened is
    // that one (a temporary stand-in, say) while every message still names fileName.
    void Assign(const std::string& fileName, const std::string& path = {});
    const std::string& FileName() const { return fileName_; }
    bool IsOpen() const { return file_ != nullptr; }

    // Creates the file, or empties an existing one, for writing.
    void Rewrite();
    // Opens an existing file for reading: a regular file or a pipe, never waiting for a
    // pipe's writer; folders and devices are refused.
    void Reset();
    // Moves the read position to the record (byte) number given, counted from 0.
    // Positions past the end are allowed; the next read then fails with end of file.
    void Seek(int64_t record);

    // The next byte; at the end of the file this fails with "end of file".
    uint8_t ReadByte() {
        if (readPos_ == readEnd_ && !Fill()) FailEndOfFile();
        return readBuffer_[readPos_++];
    }
    // True when no byte is left to read.
    bool Eof() { return readPos_ == readEnd_ && !Fill(); }
    // The bytes read ahead and not yet consumed, refilled when none are left; empty only
    // at the end of the file; kReadSlack more bytes after them may be loaded. Consume
    // takes n of them (n <= the view's size).
    std::string_view Buffered() {
        if (readPos_ == readEnd_) Fill();
        return {reinterpret_cast<const char*>(readBuffer_.data()) + readPos_, readEnd_ - readPos_};
    }
    void Consume(size_t n) { readPos_ += n; }

    void Write(std::string_view bytes) {
        const size_t n = bytes.size();
        if (n <= writeBuffer_.size() - writeLen_) {
            CopySmall(writeBuffer_.data() + writeLen_, bytes.data(), n);
            writeLen_ += n;
        } else {
            WriteSlow(bytes);
        }
    }
    void WriteByte(uint8_t b) {
        if (writeLen_ == writeBuffer_.size()) {
            const char c = static_cast<char>(b);
            WriteSlow(std::string_view(&c, 1));
            return;
        }
        writeBuffer_[writeLen_++] = b;
    }
    // For writing straight into the buffer: room for n bytes (n <= kFirstBufferSize) at
    // the end of what is written, made as Write makes it (so a write error can surface
    // here); Advance then adds the first m <= n of them to the file.
    uint8_t* Reserve(size_t n) {
        if (n > writeBuffer_.size() - writeLen_) MakeRoom(n);
        return writeBuffer_.data() + writeLen_;
    }
    void Advance(size_t m) { writeLen_ += m; }
    // Hands the buffered bytes to the system, checked.
    void Flush();

    // Flushes (checked), then closes (checked). The file is closed even when it fails.
    void Close();
    // Closes without any check, after handing over what is buffered: the error path.
    void Abandon() noexcept;

  private:
    // Most writes are a few bytes of markup: copied in registers, not by a library call.
    static void CopySmall(uint8_t* to, const char* from, size_t n) {
        if (n >= 8 && n <= 16) {
            uint64_t a, b;
            std::memcpy(&a, from, 8);
            std::memcpy(&b, from + n - 8, 8);
            std::memcpy(to, &a, 8);
            std::memcpy(to + n - 8, &b, 8);
        } else if (n >= 4 && n < 8) {
            uint32_t a, b;
            std::memcpy(&a, from, 4);
            std::memcpy(&b, from + n - 4, 4);
            std::memcpy(to, &a, 4);
            std::memcpy(to + n - 4, &b, 4);
        } else if (n < 4) {
            for (size_t i = 0; i < n; ++i) to[i] = static_cast<uint8_t>(from[i]);
        } else {
            std::memcpy(to, from, n);
        }
    }
    bool Fill();
    [[noreturn]] void FailEndOfFile() const;
    [[noreturn]] void Fail(const char* operation, int error) const;
    [[noreturn]] void Fail(const char* operation, const std::string& reason) const;
    void WriteSlow(std::string_view bytes);
    void MakeRoom(size_t n);
    void WriteAll(const char* data, size_t size);
    void RequireOpen(const char* operation) const;

    TPlatform& platform_;
    std::string fileName_;
    std::string path_;  // what is opened: fileName_ unless Assign named a stand-in
    std::unique_ptr<TOpenFile> file_;
    bool writing_ = false;
    TByteBuffer readBuffer_;
    size_t readPos_ = 0;
    size_t readEnd_ = 0;
    TByteBuffer writeBuffer_;
    size_t writeLen_ = 0;
};

}  // namespace quill
