#pragma once

#include <zlib.h>

namespace quill {

// zlib's memory routines for our stream records: zero-filled blocks from the heap.
voidpf ZlibAllocMem(voidpf opaque, uInt items, uInt size);
void ZlibFreeMem(voidpf opaque, voidpf address);

}  // namespace quill
