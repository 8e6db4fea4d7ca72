// A bitmap of every format the writer supports, its pixels (and palette) taken from the
// input: written by SaveToFile and read back, it must come back pixel for pixel.
// It aborts the process on a broken promise, so libFuzzer and the regression test
// both see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/Palette.h"
#include "png/Png.h"

namespace quill::fuzz {

namespace detail {

// One file name per process, in a folder of its own that is removed at exit.
inline const std::string& ScratchFile() {
    static const std::string name = [] {
        std::string folder;
        std::mt19937 engine{std::random_device{}()};
        for (int attempt = 0; folder.empty(); ++attempt) {
            const std::filesystem::path made = std::filesystem::temp_directory_path() /
                                               ("quill-roundtrip-" + std::to_string(engine()));
            std::error_code error;
            if (std::filesystem::create_directory(made, error)) folder = made.string();
            if (error || attempt == 100) std::abort();
        }
        static const std::string remove = folder;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return folder + "/r.png";
    }();
    return name;
}

[[noreturn]] inline void Mismatch(const char* what, int format, int w, int h) {
    std::fprintf(stderr, "round trip changed the %s (format %d, %d x %d)\n", what, format, w, h);
    std::abort();
}

}  // namespace detail

inline void CheckPngRoundTrip(const uint8_t* data, size_t size) {
    // Byte 0: format and palette size; bytes 1, 2: width and height - 1; then the
    // palette's colours, then the pixels (the input repeated as far as needed).
    if (size < 3) return;
    static const TPixelFormat kFormats[] = {pf8bit, pf24bit, pf32bit};
    const TPixelFormat format = kFormats[data[0] % 3];
    const int width = 1 + data[1] % 128 + (data[0] & 0x80 ? data[1] : 0);
    const int height = 1 + data[2] % 64;
    const uint8_t* rest = data + 3;
    size_t left = size - 3;
    auto next = [&, i = size_t{0}]() mutable -> uint8_t {
        if (left == 0) return static_cast<uint8_t>(i++ * 131);
        return rest[i++ % left];
    };

    TPNG png;
    png.SetPixelFormat(format);
    png.SetSize(width, height);
    int paletteSize = 0;
    if (format == pf8bit && (data[0] & 0x40) == 0) {
        TLogPalette log;
        paletteSize = 1 + (left ? rest[0] : 0);
        for (int i = 0; i < paletteSize; ++i) {
            TPaletteEntry e;
            e.peRed = next();
            e.peGreen = next();
            e.peBlue = next();
            log.palPalEntry.push_back(e);
        }
        png.SetPalette(CreatePalette(log));
    }
    const int row = width * TBitmap::BitsPerPixel(format) / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* line = png.ScanLine(y);
        for (int x = 0; x < row; ++x) line[x] = next();
    }

    const std::string& file = detail::ScratchFile();
    TPNG back;
    try {
        png.SaveToFile(file);
        back.LoadFromFile(file);
    } catch (const Exception& e) {
        std::fprintf(stderr, "round trip failed: %s\n", e.Message().c_str());
        std::abort();
    }
    if (back.Width() != width || back.Height() != height)
        detail::Mismatch("size", format, width, height);
    if (back.PixelFormat() != format) detail::Mismatch("format", format, width, height);
    for (int y = 0; y < height; ++y)
        if (std::memcmp(back.ScanLine(y), png.ScanLine(y), static_cast<size_t>(row)) != 0)
            detail::Mismatch("pixels", format, width, height);
    if (format == pf8bit) {
        // The file always carries 256 colours: the bitmap's, then black.
        const TPalette* p = back.Palette();
        if (!p || p->Count() != 256) detail::Mismatch("palette size", format, width, height);
        for (int i = 0; i < 256; ++i) {
            TPaletteEntry want;
            if (i < paletteSize) want = png.Palette()->Entry(i);
            const TPaletteEntry& got = p->Entry(i);
            if (got.peRed != want.peRed || got.peGreen != want.peGreen || got.peBlue != want.peBlue)
                detail::Mismatch("palette", format, width, height);
        }
    }
    return;
}

}  // namespace quill::fuzz
