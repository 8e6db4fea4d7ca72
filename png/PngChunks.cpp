#include "png/PngChunks.h"

#include <zlib.h>

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quill {

void SwapBytes(uint32_t& value) {
    value = (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
// The CRC of long data by carry-less multiplication: four 16-byte lanes folded forward
// 64 bytes a step, then into one lane, which is sixteen bytes whose CRC from a zero
// register is the register after everything folded. Those sixteen bytes and the tail go
// to zlib's crc32, so that the value is zlib's to the bit; the constants are powers of x
// modulo the polynomial, for folding 512 and 128 bits forward. Image data run to
// megabytes, and this takes several times fewer cycles a byte than zlib's tables.
__attribute__((target("pclmul,sse2"))) inline __m128i Load16(const uint8_t* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse2"))) uint32_t CrcFolded(uint32_t crc, const uint8_t* p,
                                                          size_t n) {
    __m128i x0 = _mm_xor_si128(Load16(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = Load16(p + 16), x2 = Load16(p + 32), x3 = Load16(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    for (; n >= 64; p += 64, n -= 64) {
        x0 = Fold(x0, k512, Load16(p));
        x1 = Fold(x1, k512, Load16(p + 16));
        x2 = Fold(x2, k512, Load16(p + 32));
        x3 = Fold(x3, k512, Load16(p + 48));
    }
    const __m128i k128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    __m128i x = Fold(Fold(Fold(x0, k128, x1), k128, x2), k128, x3);
    for (; n >= 16; p += 16, n -= 16) x = Fold(x, k128, Load16(p));
    uint8_t lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x);
    const uLong folded = crc32(0xFFFFFFFFul, lane, sizeof lane);
    return static_cast<uint32_t>(n > 0 ? crc32(folded, p, static_cast<uInt>(n)) : folded);
}

#endif

}  // namespace

// This CRC is zlib's crc32 (reflected EDB88320, initial and final complement).
uint32_t ChunkCrc(const void* data, uint32_t length, const char type[4],
                  const TProcessorFeatures& features) {
    const auto crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(type), 4));
    const auto* bytes = static_cast<const uint8_t*>(data);
#if defined(__x86_64__) || defined(__i386__)
    if (length >= 256 && features.Clmul) return CrcFolded(crc, bytes, length);
#else
    (void)features;
#endif
    return static_cast<uint32_t>(length > 0 ? crc32(crc, bytes, length) : crc);
}

void WriteChunk(TStream& stream, const void* data, uint32_t length, const char type[4],
                const TProcessorFeatures& features) {
    uint8_t head[8];
    PutBigEndian(head, length);
    std::memcpy(head + 4, type, 4);
    stream.WriteBuffer(head, 8);
    if (length > 0) stream.WriteBuffer(data, length);
    uint8_t crc[4];
    PutBigEndian(crc, ChunkCrc(data, length, type, features));
    stream.WriteBuffer(crc, 4);
}

}  // namespace quill
