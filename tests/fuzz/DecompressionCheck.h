// Arbitrary compressed bytes and an arbitrary sequence of reads and seeks: the stream
// answers data or raises one of its own errors, and never reads or writes out of bounds.
// It aborts the process on a broken promise, so libFuzzer and the regression test
// both see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "png/DecompressionStream.h"

namespace quill::fuzz {

inline void CheckDecompression(const uint8_t* data, size_t size) {
    // The first bytes drive the operations; the rest is the compressed source.
    const size_t ops = size < 8 ? size : 8;
    TMemoryStream source;
    source.WriteBuffer(data + ops, static_cast<int64_t>(size - ops));
    source.SetPosition(0);
    std::vector<uint8_t> out(1 << 16);
    try {
        TDecompressionStream z(source);
        for (size_t i = 0; i < ops; ++i) {
            const uint8_t op = data[i];
            try {
                switch (op % 4) {
                    case 0:
                        z.Read(out.data(), 1 + (op >> 2) * 1000);
                        break;
                    case 1:
                        z.Seek(op >> 2, soCurrent);
                        break;
                    case 2:
                        z.Seek(0, soBeginning);
                        break;
                    default:
                        z.Seek(static_cast<int64_t>(op >> 2) - 32, static_cast<int>(op >> 6) % 3);
                }
            } catch (const Exception&) {
                // The layer's own failures are the expected answer to broken data.
            }
        }
    } catch (const Exception&) {
    }
}

}  // namespace quill::fuzz
