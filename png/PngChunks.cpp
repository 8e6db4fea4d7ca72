#include "png/PngChunks.h"

#include <array>
#include <cstring>

namespace quill {

namespace {

// The 256-entry table of the reflected polynomial EDB88320.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t UpdateCrc(uint32_t crc, const uint8_t* p, uint64_t length) {
    for (uint64_t i = 0; i < length; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace

void SwapBytes(uint32_t& value) {
    value = (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

uint32_t ChunkCrc(const void* data, uint32_t length, const char type[4]) {
    uint32_t crc = UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(type), 4);
    crc = UpdateCrc(crc, static_cast<const uint8_t*>(data), length);
    return ~crc;
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
