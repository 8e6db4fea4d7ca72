#include "png/ZlibAlloc.h"

#include <cstdlib>

namespace quill {

voidpf ZlibAllocMem(voidpf, uInt items, uInt size) {
    return std::calloc(items, size);
}

void ZlibFreeMem(voidpf, voidpf address) {
    std::free(address);
}

}  // namespace quill
