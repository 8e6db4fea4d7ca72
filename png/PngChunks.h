#pragma once

#include <cstdint>

#include "platform/ProcessorFeatures.h"
#include "platform/Stream.h"

namespace quill {

// Chunk type codes and the file signature.
inline constexpr char kChunkIHDR[4] = {'I', 'H', 'D', 'R'};
inline constexpr char kChunkPLTE[4] = {'P', 'L', 'T', 'E'};
inline constexpr char kChunkIDAT[4] = {'I', 'D', 'A', 'T'};
inline constexpr char kChunkIEND[4] = {'I', 'E', 'N', 'D'};
inline constexpr char kChunktEXt[4] = {'t', 'E', 'X', 't'};
inline constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Reverses the 4 bytes of value in place (host order to big-endian and back).
void SwapBytes(uint32_t& value);

// CRC-32 of the PNG standard over the 4 type bytes followed by length data bytes, by the
// fastest way that `features` allow.
uint32_t ChunkCrc(const void* data, uint32_t length, const char type[4],
                  const TProcessorFeatures& features = ProcessorFeatures());

// Writes length (big-endian), type, data and the CRC (big-endian).
void WriteChunk(TStream& stream, const void* data, uint32_t length, const char type[4],
                const TProcessorFeatures& features = ProcessorFeatures());

// Numbers in PNG files are big-endian.
inline void PutBigEndian(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline uint32_t BigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// A 32-bit bitmap pixel: in memory blue, green, red, alpha.
inline uint32_t PackPixel(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

}  // namespace quill
