#include "platform/Stream.h"

#include <vector>

#include "platform/Exception.h"

namespace quill {

int64_t TStream::Size() {
    const int64_t here = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(here, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {
    throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) FailWrite();
}

void TStream::FailWrite() {
    throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return count;
}

}  // namespace quill
