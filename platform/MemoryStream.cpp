#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"
#include "platform/FileStream.h"
#include "platform/LargeBlock.h"

namespace quill {

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= Size()) return 0;
    const int64_t n = std::min(count, Size() - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > Size()) SetSize(end);
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
    switch (origin) {
        case soBeginning:
            position_ = offset;
            break;
        case soCurrent:
            position_ += offset;
            break;
        case soEnd:
            position_ = Size() + offset;
            break;
        default:
            throw EStreamError("Invalid seek origin");
    }
    if (position_ < 0) position_ = 0;
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) size = 0;
    try {
        // A block of many megabytes (a whole PNG file being read) is asked for huge pages
        // before it is first touched: faulting it in 4 KiB at a time costs more than
        // filling it.
        if (static_cast<size_t>(size) > data_.capacity() && size >= (int64_t{4} << 20)) {
            // Growth stays geometric, as the vector's own would be.
            data_.reserve(std::max(static_cast<size_t>(size), data_.capacity() * 2));
            AdviseHugePages(data_.data() + data_.size(),
                            static_cast<int64_t>(data_.capacity() - data_.size()));
        }
        data_.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory");
    }
    if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const int64_t size = source.Size();
    SetSize(size);
    source.ReadBuffer(data_.data(), size);
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
    file.Close();
}

}  // namespace quill
