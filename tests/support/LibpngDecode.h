#pragma once

// Decodes PNG files with libpng, the independent decoder the tests check our files
// against. Test-only: the product never links libpng.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quill::test {

struct TDecodedPng {
    uint32_t Width = 0, Height = 0;
    int BitDepth = 0, ColorType = 0, Interlace = 0;
    std::vector<png_color> Palette;
    std::vector<std::vector<uint8_t>> Rows;  // as stored: indexes, RGB or RGBA
};

// transforms: libpng's PNG_TRANSFORM_... flags (PNG_TRANSFORM_EXPAND gives the colour of
// every pixel of a palette image as RGB).
inline TDecodedPng DecodeWithLibpng(const std::string& fileName,
                                    int transforms = PNG_TRANSFORM_IDENTITY) {
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) throw std::runtime_error("cannot open " + fileName);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    TDecodedPng result;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("libpng rejects " + fileName);
    }
    png_init_io(png, file.get());
    png_read_png(png, info, transforms, nullptr);
    result.Width = png_get_image_width(png, info);
    result.Height = png_get_image_height(png, info);
    result.BitDepth = png_get_bit_depth(png, info);
    result.ColorType = png_get_color_type(png, info);
    result.Interlace = png_get_interlace_type(png, info);
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) != 0)
        result.Palette.assign(palette, palette + count);
    const size_t rowBytes = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (uint32_t y = 0; y < result.Height; ++y)
        result.Rows.emplace_back(rows[y], rows[y] + rowBytes);
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

}  // namespace quill::test
