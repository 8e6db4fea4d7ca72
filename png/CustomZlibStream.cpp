#include "png/CustomZlibStream.h"

#include <cstring>

#include "png/ZlibAlloc.h"

namespace quill {

TCustomZlibStream::TCustomZlibStream(TStream& source)
    : FStrm(source), FStrmPos(source.Position()), FBuffer(new uint8_t[kInputBufferSize]) {
    std::memset(&FZRec, 0, sizeof FZRec);
    FZRec.zalloc = ZlibAllocMem;
    FZRec.zfree = ZlibFreeMem;
}

TCustomZlibStream::~TCustomZlibStream() = default;

void TCustomZlibStream::Progress() {
    if (RefillNotify) RefillNotify(*this);
}

}  // namespace quill
