#pragma once

#include <cstdint>

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

// CRC-32 of the PNG standard over the 4 type bytes followed by length data bytes.
uint32_t ChunkCrc(const void* data, uint32_t length, const char type[4]);

// Writes length (big-endian), type, data and the CRC (big-endian).
void WriteChunk(TStream& stream, const void* data, uint32_t length, const char type[4]);

// a = left, b = above, c = above-left.
inline uint8_t PaethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

// A 32-bit bitmap pixel: in memory blue, green, red, alpha.
inline uint32_t PackPixel(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

}  // namespace quill
