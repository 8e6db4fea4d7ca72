#include "png/CustomZlibStream.h"

#include <cstring>

#include "png/ZlibAlloc.h"

namespace quill {

TCustomZlibStream::TCustomZlibStream(TStream& source)
    : source_(source), sourcePos_(source.Position()), buffer_(new uint8_t[kInputBufferSize]) {
    std::memset(&zrec_, 0, sizeof zrec_);
    zrec_.zalloc = ZlibAllocMem;
    zrec_.zfree = ZlibFreeMem;
}

TCustomZlibStream::~TCustomZlibStream() = default;

void TCustomZlibStream::Progress() {
    if (RefillNotify) RefillNotify(*this);
}

}  // namespace quill
