#include "platform/LargeBlock.h"

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <string>

#include "platform/Exception.h"

namespace quill {

namespace {
constexpr int64_t kHugePage = int64_t{2} << 20;
}

void AdviseHugePages(void* p, int64_t size) {
#ifdef MADV_HUGEPAGE
    if (p == nullptr || size < 2 * kHugePage) return;
    const auto pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<uintptr_t>(p) + pageSize - 1) & ~(pageSize - 1);
    const auto end =
        (reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(size)) & ~(pageSize - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)size;
#endif
}

TLargeBlock AllocateLargeBlock(int64_t size, const char* purpose) {
    if (size < 0) throw EOutOfMemory(std::string("Invalid size for ") + purpose);
    void* p = nullptr;
#ifndef _WIN32
    // (Windows's C library has no aligned_alloc whose blocks free takes back.)
    if (size >= 2 * kHugePage) {
        // Aligned to a huge page, so that every 2 MiB of it can be one page.
        const int64_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(static_cast<size_t>(kHugePage), static_cast<size_t>(rounded));
    } else
#endif
    {
        p = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
    }
    if (p == nullptr)
        throw EOutOfMemory("Out of memory (" + std::to_string(size) + " bytes for " + purpose +
                           ")");
    AdviseHugePages(p, size);
    return TLargeBlock(static_cast<uint8_t*>(p));
}

}  // namespace quill
