#pragma once

// Test-only PNG helpers: hand-built files (chunk by chunk, for damaged and hostile
// input), files encoded by libpng, and libpng's decoding of a file to raw 8-bit samples
// mapped the way the reader stores pixels, for comparison with the reader's bitmaps.

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "support/TestSupport.h"

namespace quill::test {

inline void PutBigEndian(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

inline uint32_t BigEndianAt(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

// One chunk: length, type, data, CRC. A length other than the data's may be forced.
inline Bytes Chunk(const std::string& type, const Bytes& data, int64_t forcedLength = -1) {
    Bytes out;
    PutBigEndian(out, forcedLength >= 0 ? static_cast<uint32_t>(forcedLength)
                                        : static_cast<uint32_t>(data.size()));
    Bytes typed(type.begin(), type.end());
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out,
                 static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
    return out;
}

inline Bytes Signature() {
    return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
}

inline Bytes IhdrData(uint32_t width, uint32_t height, int depth, int colorType, int interlace = 0,
                      int compression = 0, int filter = 0) {
    Bytes d;
    PutBigEndian(d, width);
    PutBigEndian(d, height);
    d.push_back(static_cast<uint8_t>(depth));
    d.push_back(static_cast<uint8_t>(colorType));
    d.push_back(static_cast<uint8_t>(compression));
    d.push_back(static_cast<uint8_t>(filter));
    d.push_back(static_cast<uint8_t>(interlace));
    return d;
}

inline Bytes Deflate(const Bytes& raw, int level = 6) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level);
    out.resize(size);
    return out;
}

inline Bytes Inflate(const Bytes& compressed) {
    z_stream z{};
    inflateInit(&z);
    Bytes out;
    uint8_t buffer[65536];
    z.next_in = const_cast<uint8_t*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return out;
}

// A whole file: signature, IHDR, the chunks given, IEND.
inline Bytes BuildPng(const Bytes& ihdr, const std::vector<Bytes>& chunks, bool withEnd = true) {
    Bytes out = Signature();
    const Bytes header = Chunk("IHDR", ihdr);
    out.insert(out.end(), header.begin(), header.end());
    for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
    if (withEnd) {
        const Bytes end = Chunk("IEND", {});
        out.insert(out.end(), end.begin(), end.end());
    }
    return out;
}

// The concatenated data of all chunks of a type.
inline Bytes ChunkData(const Bytes& file, const std::string& type) {
    Bytes out;
    for (size_t p = 8; p + 12 <= file.size();) {
        const uint32_t len = (uint32_t{file[p]} << 24) | (uint32_t{file[p + 1]} << 16) |
                             (uint32_t{file[p + 2]} << 8) | file[p + 3];
        if (std::memcmp(&file[p + 4], type.data(), 4) == 0)
            out.insert(out.end(), file.begin() + static_cast<long>(p) + 8,
                       file.begin() + static_cast<long>(p + 8 + len));
        p += 12 + len;
    }
    return out;
}

// Raw samples of an image, rows in the file's order and packing.
struct TRawImage {
    uint32_t Width = 0;
    uint32_t Height = 0;
    int ColorType = 0;
    int Depth = 8;
    int Interlace = 0;
    Bytes Rows;                   // Height rows of RowBytes() each
    std::vector<png_color> Plte;  // palette images
    size_t RowBytes() const {
        const int channels = ColorType == 2 ? 3 : ColorType == 4 ? 2 : ColorType == 6 ? 4 : 1;
        return (static_cast<size_t>(Width) * channels * Depth + 7) / 8;
    }
};

inline TRawImage RandomImage(uint32_t width, uint32_t height, int colorType, int depth,
                             int interlace, uint32_t seed) {
    TRawImage img;
    img.Width = width;
    img.Height = height;
    img.ColorType = colorType;
    img.Depth = depth;
    img.Interlace = interlace;
    std::mt19937 rng(seed);
    img.Rows.resize(img.RowBytes() * height);
    // Smooth ramps with noise, so that every filter gets chosen somewhere.
    for (size_t i = 0; i < img.Rows.size(); ++i)
        img.Rows[i] = static_cast<uint8_t>((i * 7 / 3) + (rng() % 5 == 0 ? rng() : 0));
    if (colorType == 3) {
        for (int e = 0; e < (1 << depth); ++e)
            img.Plte.push_back(png_color{static_cast<png_byte>(rng()), static_cast<png_byte>(rng()),
                                         static_cast<png_byte>(rng())});
    }
    return img;
}

namespace detail {
struct TMemWriter {
    Bytes* Out;
};
inline void WriteData(png_structp png, png_bytep data, png_size_t size) {
    auto* w = static_cast<TMemWriter*>(png_get_io_ptr(png));
    w->Out->insert(w->Out->end(), data, data + size);
}
inline void FlushData(png_structp) {}
struct TMemReader {
    const Bytes* In;
    size_t Pos;
};
inline void ReadData(png_structp png, png_bytep data, png_size_t size) {
    auto* r = static_cast<TMemReader*>(png_get_io_ptr(png));
    if (r->Pos + size > r->In->size()) png_error(png, "read past end");
    std::memcpy(data, r->In->data() + r->Pos, size);
    r->Pos += size;
}
}  // namespace detail

// Encodes with libpng; filters is a PNG_FILTER_* mask (libpng picks among them per row).
inline Bytes LibPngEncode(const TRawImage& img, int filters = PNG_ALL_FILTERS, int level = 6) {
    Bytes out;
    detail::TMemWriter writer{&out};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(img.Height);
    for (uint32_t y = 0; y < img.Height; ++y)
        rows[y] = const_cast<png_bytep>(img.Rows.data() + y * img.RowBytes());
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &writer, detail::WriteData, detail::FlushData);
    png_set_IHDR(png, info, img.Width, img.Height, img.Depth, img.ColorType,
                 img.Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (img.ColorType == 3)
        png_set_PLTE(png, info, const_cast<png_colorp>(img.Plte.data()),
                     static_cast<int>(img.Plte.size()));
    png_set_filter(png, 0, filters);
    png_set_compression_level(png, level);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libpng's decoding: per pixel `Channels` 8-bit samples (palette images: the index),
// 16-bit samples cut to their high byte, grey below 8 bits scaled to 0..255, nothing else
// applied (no transparency, gamma or background).
struct TDecoded {
    bool Ok = false;
    uint32_t Width = 0;
    uint32_t Height = 0;
    int ColorType = 0;
    int Channels = 0;
    Bytes Samples;
};

inline TDecoded LibPngDecode(const Bytes& file) {
    TDecoded result;
    detail::TMemReader reader{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        result.Ok = false;
        return result;
    }
    png_set_read_fn(png, &reader, detail::ReadData);
    png_read_info(png, info);
    result.Width = png_get_image_width(png, info);
    result.Height = png_get_image_height(png, info);
    result.ColorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (depth == 16) png_set_strip_16(png);
    if (result.ColorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (result.ColorType == PNG_COLOR_TYPE_PALETTE && depth < 8) png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    result.Channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    result.Samples.resize(rowBytes * result.Height);
    rows.resize(result.Height);
    for (uint32_t y = 0; y < result.Height; ++y) rows[y] = result.Samples.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    result.Ok = true;
    return result;
}

// The bitmap's pixels, row after row, without row padding.
inline Bytes BitmapPixels(TBitmap& bmp) {
    const int bytes = bmp.PixelFormat() == pf8bit ? 1 : bmp.PixelFormat() == pf32bit ? 4 : 3;
    Bytes out;
    for (int y = 0; y < bmp.Height(); ++y) {
        const uint8_t* line = bmp.ScanLine(y);
        out.insert(out.end(), line, line + static_cast<size_t>(bmp.Width()) * bytes);
    }
    return out;
}

// libpng's samples laid out as the reader stores them in the bitmap.
inline Bytes ExpectedPixels(const TDecoded& d) {
    Bytes out;
    const size_t pixels = static_cast<size_t>(d.Width) * d.Height;
    for (size_t p = 0; p < pixels; ++p) {
        const uint8_t* s = d.Samples.data() + p * d.Channels;
        switch (d.ColorType) {
            case 0:
                out.insert(out.end(), {s[0], s[0], s[0]});
                break;
            case 2:
                out.insert(out.end(), {s[2], s[1], s[0]});
                break;
            case 3:
                out.push_back(s[0]);
                break;
            case 4:
                out.insert(out.end(), {s[0], s[0], s[0], s[1]});
                break;
            default:
                out.insert(out.end(), {s[2], s[1], s[0], s[3]});
                break;
        }
    }
    return out;
}

}  // namespace quill::test
