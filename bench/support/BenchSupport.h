#pragma once

// What the benchmarks share: libpng as the peer encoder, and a thread's processor time.
#include <png.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert/PictureStore.h"
#include "platform/Bitmap.h"
#include "platform/ProcessorFeatures.h"

namespace quill::bench {

// Writes b with libpng at the settings TPNG uses: zlib level 9, Paeth on every row, no
// interlace; 8-bit palette bitmaps with a 256-entry palette, 32-bit ones as RGBA.
inline void SaveWithLibpng(const TBitmap& b, const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot create " + name);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        throw std::runtime_error("libpng failed on " + name);
    }
    png_init_io(png, f);
    const bool palette = b.PixelFormat() == pf8bit;
    png_set_IHDR(png, info, static_cast<png_uint_32>(b.Width()),
                 static_cast<png_uint_32>(b.Height()), 8,
                 palette                      ? PNG_COLOR_TYPE_PALETTE
                 : b.PixelFormat() == pf24bit ? PNG_COLOR_TYPE_RGB
                                              : PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color plte[256] = {};
    if (palette) {
        for (int i = 0; i < b.Palette()->Count(); ++i)
            plte[i] = {b.Palette()->Entry(i).peRed, b.Palette()->Entry(i).peGreen,
                       b.Palette()->Entry(i).peBlue};
        png_set_PLTE(png, info, plte, 256);
    }
    png_set_compression_level(png, 9);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_write_info(png, info);
    if (!palette) png_set_bgr(png);  // the bitmap's pixels are blue, green, red[, alpha]
    for (int y = 0; y < b.Height(); ++y) png_write_row(png, const_cast<png_bytep>(b.ScanLine(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

// Processor time of the calling thread, page faults included; less disturbed by other
// work on the machine than wall time.
inline double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Picture data like screen drawings: mostly plain cells of one colour or the other, a
// sixth of them with detail, every cell with its own two colours.
inline std::string ScreenPictureData() {
    uint32_t seed = 2026;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    std::string data;
    for (int g = 0; g < kStoreRows; ++g) {
        int modes[kCellsPerRow];
        for (int& m : modes) m = static_cast<int>(next() % 6);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < kCellsPerRow; ++c) {
                const int m = modes[c];
                data.push_back(static_cast<char>(m < 3 ? 0x00 : m < 5 ? 0xFF : next() & 0xFF));
            }
        for (int c = 0; c < kCellsPerRow; ++c) data.push_back(static_cast<char>(next() & 0x7F));
    }
    return data;
}

// Processor time of all the process's threads: work handed to another thread counts.
inline double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median of the rounds' ratios, each side's time over the floor's of the same round:
// a burst of other work spoils both times of a round alike, and the round with them.
inline double MedianRatio(const std::vector<double>& side, const std::vector<double>& floor) {
    std::vector<double> ratios;
    for (size_t r = 0; r < side.size() && r < floor.size(); ++r)
        ratios.push_back(side[r] / floor[r]);
    return Median(ratios);
}

// The widest kernels a benchmark may use, from its argument at `index` (plain, sse2, avx2
// or avx512; the processor's widest when absent), so that narrower paths can be timed.
inline TVectorWidth WidestArgument(int argc, char** argv, int index) {
    const std::string name = argc > index ? argv[index] : "avx512";
    const char* const names[] = {"plain", "sse2", "avx2", "avx512"};
    for (int w = 0; w < 4; ++w)
        if (name == names[w]) {
            std::printf("kernels up to %s\n",
                        names[std::min(w, static_cast<int>(ProcessorFeatures().Width))]);
            return static_cast<TVectorWidth>(w);
        }
    throw std::runtime_error("unknown width " + name + " (plain, sse2, avx2 or avx512)");
}

}  // namespace quill::bench
