#include "png/PngChunks.h"

#include <zlib.h>

#include <cstring>

namespace quill {

void SwapBytes(uint32_t& value) {
    value = (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

// zlib's crc32 is this CRC (reflected EDB88320, initial and final complement) and takes
// several bytes a step: image data run to megabytes, and a byte-by-byte table would cost
// more than un-filtering them.
uint32_t ChunkCrc(const void* data, uint32_t length, const char type[4]) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    return static_cast<uint32_t>(length > 0 ? crc32(crc, static_cast<const Bytef*>(data), length)
                                            : crc);
}

void WriteChunk(TStream& stream, const void* data, uint32_t length, const char type[4]) {
    uint8_t head[8];
    PutBigEndian(head, length);
    std::memcpy(head + 4, type, 4);
    stream.WriteBuffer(head, 8);
    if (length > 0) stream.WriteBuffer(data, length);
    uint8_t crc[4];
    PutBigEndian(crc, ChunkCrc(data, length, type));
    stream.WriteBuffer(crc, 4);
}

}  // namespace quill
