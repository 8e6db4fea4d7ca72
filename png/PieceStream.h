#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Stream.h"

namespace quill {

// A read-only stream over pieces of memory owned elsewhere, read one after the other as
// if they were one block. The reader gathers a PNG file's IDAT data this way, straight
// from the file's bytes, instead of copying them all once more.
class TPieceStream : public TStream {
  public:
    // Adds the next piece; it must stay in place as long as the stream is read.
    void Append(const uint8_t* data, int64_t size);

    int64_t Read(void* buffer, int64_t count) override;
    // Raises EStreamError: the stream cannot be written.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return size_; }

  private:
    struct TPiece {
        const uint8_t* Data;
        int64_t Size;
        int64_t Start;  // position of its first byte in the stream
    };
    std::vector<TPiece> pieces_;
    int64_t size_ = 0;
    int64_t position_ = 0;
    size_t current_ = 0;  // the piece that holds position_ (or the end)
};

}  // namespace quill
