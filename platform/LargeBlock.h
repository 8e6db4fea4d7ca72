#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace quill {

// Blocks of many megabytes (a whole filtered image, a whole compressed stream).
// Their memory is asked to be backed by huge pages where the system offers them:
// faulting in fresh memory 4 KiB at a time costs a noticeable share of an image save.

// Gives back a block from the C heap (malloc, realloc, aligned_alloc).
struct TFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using TLargeBlock = std::unique_ptr<uint8_t[], TFreeDeleter>;

// An uninitialised block of size bytes, to be freed with std::free (the deleter
// does it). Raises EOutOfMemory naming what the block was for.
TLargeBlock AllocateLargeBlock(int64_t size, const char* purpose);

// Advises the system that the block from p of size bytes (from malloc or realloc)
// is best backed by huge pages. Small blocks and systems without the advice are left
// alone; nothing is reported.
void AdviseHugePages(void* p, int64_t size);

}  // namespace quill
