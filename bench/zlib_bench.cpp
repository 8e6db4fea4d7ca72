// Compresses and inflates 64 MiB of mixed data with our compression layer and with
// zlib's own one-call routines, in the same run, and prints the throughput ratios.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "platform/MemoryStream.h"
#include "png/DecompressionStream.h"
#include "png/DeflateBuffer.h"

using namespace quill;
using Clock = std::chrono::steady_clock;

namespace {

// Text-like runs, screen-picture-like bytes and noise, in blocks of a few KiB.
std::vector<uint8_t> MixedData(size_t size) {
    std::mt19937 gen(2026);
    std::vector<uint8_t> data(size);
    const char* words[] = {"vornik ", "picture ", "colour ", "\xAF\xE0\xA8\xA2\xA5\xE2 ",
                           "row ",    "\r\n"};
    size_t i = 0;
    while (i < size) {
        const size_t block = std::min<size_t>(size - i, 4096 + gen() % 8192);
        switch (gen() % 3) {
            case 0:
                for (size_t j = 0; j < block;) {
                    const char* w = words[gen() % 6];
                    for (size_t k = 0; w[k] && j < block; ++k, ++j) data[i + j] = w[k];
                }
                break;
            case 1:
                for (size_t j = 0; j < block; ++j) data[i + j] = (j / 8 % 5 == 0) ? 0x0F : 0x00;
                break;
            default:
                for (size_t j = 0; j < block; ++j) data[i + j] = static_cast<uint8_t>(gen());
        }
        i += block;
    }
    return data;
}

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

}  // namespace

int main() {
    const size_t size = 64u << 20;
    const std::vector<uint8_t> data = MixedData(size);
    const double mib = static_cast<double>(size) / (1 << 20);

    auto t = Clock::now();
    TZlibBlock ours;
    int64_t oursSize = 0;
    DeflateBuffer(data.data(), static_cast<int64_t>(size), ours, oursSize);
    const double oursDeflate = Seconds(t);

    t = Clock::now();
    std::vector<uint8_t> theirs(compressBound(size));
    uLongf theirsSize = theirs.size();
    if (compress2(theirs.data(), &theirsSize, data.data(), size, 9) != Z_OK) return 1;
    const double zlibDeflate = Seconds(t);

    // Inflation is quick, so each side runs a few times and keeps its best time.
    std::vector<uint8_t> out(size);
    TMemoryStream source;
    source.WriteBuffer(ours.get(), oursSize);
    double oursInflate = 1e9, zlibInflate = 1e9;
    for (int round = 0; round < 3; ++round) {
        source.SetPosition(0);
        t = Clock::now();
        {
            TDecompressionStream z(source);
            if (z.Read(out.data(), static_cast<int64_t>(size)) != static_cast<int64_t>(size))
                return 1;
        }
        oursInflate = std::min(oursInflate, Seconds(t));
        if (std::memcmp(out.data(), data.data(), size) != 0) return 1;

        t = Clock::now();
        uLongf outSize = size;
        if (uncompress(out.data(), &outSize, theirs.data(), theirsSize) != Z_OK) return 1;
        zlibInflate = std::min(zlibInflate, Seconds(t));
    }

    std::printf("deflate level 9, %.0f MiB -> %lld bytes (zlib: %lu)\n", mib,
                static_cast<long long>(oursSize), static_cast<unsigned long>(theirsSize));
    std::printf("  DeflateBuffer        %7.1f MiB/s\n", mib / oursDeflate);
    std::printf("  compress2            %7.1f MiB/s\n", mib / zlibDeflate);
    std::printf("  throughput ratio     %7.3f (target >= 0.95)\n", zlibDeflate / oursDeflate);
    std::printf("inflate\n");
    std::printf("  TDecompressionStream %7.1f MiB/s\n", mib / oursInflate);
    std::printf("  uncompress           %7.1f MiB/s\n", mib / zlibInflate);
    std::printf("  throughput ratio     %7.3f (target >= 0.95)\n", zlibInflate / oursInflate);
    return 0;
}
