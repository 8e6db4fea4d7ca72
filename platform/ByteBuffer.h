#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace quill {

// A block of bytes that is not cleared when it is made or grows: for buffers whose bytes
// are always written before they are read. (A vector clears every byte first; for the
// page and read buffers of thousands of small documents that is most of their cost.)
class TByteBuffer {
  public:
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    uint8_t& operator[](size_t i) { return bytes_[i]; }
    // size bytes, the first keep of them as they were.
    void Resize(size_t size, size_t keep = 0) {
        if (size == size_) return;
        std::unique_ptr<uint8_t[]> bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
        if (keep > 0) std::memcpy(bytes.get(), bytes_.get(), keep < size ? keep : size);
        bytes_ = std::move(bytes);
        size_ = size;
    }
    void Clear() {
        bytes_.reset();
        size_ = 0;
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
};

}  // namespace quill
