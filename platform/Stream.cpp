#include "platform/Stream.h"

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

}  // namespace quill
