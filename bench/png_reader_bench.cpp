// Decoding speed of TPNG and libpng against the zlib floor: the inflate of the image's
// IDAT data alone. Five images, made here by libpng with adaptive filters at level 6: a
// plasma-like photo as 4096 x 4096 RGBA, 4096 x 4096 RGB and 2048 x 2048 RGB Adam7, a
// 256 x 1024 palette screen picture of 8 x 8 cells, and a 1024 x 1024 16-bit grey plasma.
// The three sides alternate in each round and write into memory allocated once, the
// same way: the floor into one block, TPNG into its own bitmap, libpng into a bitmap of
// the same shape (in the bitmap's byte order, so that the two bitmaps must be equal).
// Time is the processor time of all threads (medians of the rounds); each ratio to the
// floor is the median of the rounds' ratios. The target is 1.15 x the floor or less on
// each image.
//
// png_reader_bench [rounds [plain|sse2|avx2|avx512]]   (the last: the widest kernels)

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/MemoryStream.h"
#include "png/Png.h"
#include "support/BenchSupport.h"

using quill::bench::Median;
using quill::bench::MedianRatio;
using quill::bench::ProcessCpuSeconds;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr double kTarget = 1.15;

struct TSource {
    std::string Name;
    uint32_t Width, Height;
    int ColorType, Depth, Interlace;
    Bytes Rows;  // as libpng takes them (16-bit samples big-endian)
    std::vector<png_color> Palette;
};

void WriteData(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void FlushData(png_structp) {}

Bytes Encode(const TSource& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "libpng could not encode %s\n", s.Name.c_str());
        std::exit(1);
    }
    png_set_write_fn(png, &out, WriteData, FlushData);
    png_set_IHDR(png, info, s.Width, s.Height, s.Depth, s.ColorType,
                 s.Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s.ColorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, const_cast<png_colorp>(s.Palette.data()),
                     static_cast<int>(s.Palette.size()));
    png_set_compression_level(png, 6);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    png_write_info(png, info);
    const size_t rowBytes = s.Rows.size() / s.Height;
    std::vector<png_bytep> rows(s.Height);
    for (uint32_t y = 0; y < s.Height; ++y)
        rows[y] = const_cast<png_bytep>(s.Rows.data() + y * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Sums of waves over the plane with a little noise, as a plasma picture is made: smooth
// everywhere, so every filter has something to predict.
struct TPlasma {
    std::vector<double> X, Y, D;
    std::mt19937 Rng{7};
    explicit TPlasma(uint32_t size) : X(size), Y(size), D(2 * size) {
        for (uint32_t i = 0; i < size; ++i) {
            X[i] = std::sin(i * 9.0 / size) + 0.5 * std::sin(i * 23.0 / size);
            Y[i] = std::sin(i * 7.0 / size + 1) + 0.5 * std::cos(i * 31.0 / size);
        }
        for (uint32_t i = 0; i < 2 * size; ++i) D[i] = std::sin(i * 13.0 / size);
    }
    // Channel c of pixel (x, y), 0..1.
    double At(uint32_t x, uint32_t y, int c) {
        const double v = X[x] * (1 + 0.3 * c) + Y[y] + D[x + y] * (c - 1);
        return 0.5 + 0.5 * std::sin(v * (2 + c)) + (static_cast<int>(Rng() % 5) - 2) / 400.0;
    }
};

uint16_t Sample(double v, int depth) {
    const double top = depth == 16 ? 65535 : 255;
    return static_cast<uint16_t>(std::clamp(v, 0.0, 1.0) * top);
}

TSource Photo(const std::string& name, uint32_t size, int colorType, int depth, int interlace) {
    const int channels = colorType == PNG_COLOR_TYPE_RGBA  ? 4
                         : colorType == PNG_COLOR_TYPE_RGB ? 3
                                                           : 1;
    TSource s{name, size, size, colorType, depth, interlace, {}, {}};
    const int bytes = depth / 8;
    s.Rows.resize(static_cast<size_t>(size) * size * channels * bytes);
    TPlasma plasma(size);
    uint8_t* p = s.Rows.data();
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x)
            for (int c = 0; c < channels; ++c) {
                const double v =
                    c == 3 ? 1 - 0.4 * (x * double(y)) / (double(size) * size) : plasma.At(x, y, c);
                const uint16_t sample = Sample(v, depth);
                if (bytes == 2) *p++ = static_cast<uint8_t>(sample >> 8);
                *p++ = static_cast<uint8_t>(sample);
            }
    return s;
}

// 32 x 128 cells of 8 x 8 pixels, each with an ink and a paper colour out of 16 and a
// glyph-like pattern, as the converter's pictures are.
TSource Screen() {
    TSource s{"palette 256 x 1024", 256, 1024, PNG_COLOR_TYPE_PALETTE, 8, 0, {}, {}};
    for (int i = 0; i < 16; ++i) {
        const png_byte hi = (i & 8) ? 255 : 168;
        s.Palette.push_back(png_color{static_cast<png_byte>((i & 2) ? hi : 0),
                                      static_cast<png_byte>((i & 4) ? hi : 0),
                                      static_cast<png_byte>((i & 1) ? hi : 0)});
    }
    s.Rows.resize(256 * 1024);
    std::mt19937 rng(11);
    for (int cy = 0; cy < 128; ++cy)
        for (int cx = 0; cx < 32; ++cx) {
            const uint8_t ink = static_cast<uint8_t>(rng() % 16);
            const uint8_t paper = static_cast<uint8_t>(cy / 16 % 2 == 0 ? 0 : rng() % 4);
            const uint32_t glyph = rng();
            for (int y = 0; y < 8; ++y) {
                const uint8_t bits =
                    static_cast<uint8_t>((glyph >> (y * 4 % 29)) & (cx % 3 == 0 ? 0 : 0x7E));
                for (int x = 0; x < 8; ++x)
                    s.Rows[static_cast<size_t>(cy * 8 + y) * 256 + cx * 8 + x] =
                        (bits >> (7 - x)) & 1 ? ink : paper;
            }
        }
    return s;
}

// The IDAT data of a PNG file, joined.
Bytes IdatData(const Bytes& file) {
    Bytes out;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = (uint32_t{file[at]} << 24) | (uint32_t{file[at + 1]} << 16) |
                                (uint32_t{file[at + 2]} << 8) | file[at + 3];
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
            out.insert(out.end(), file.begin() + static_cast<long>(at + 8),
                       file.begin() + static_cast<long>(at + 8 + length));
        at += 12 + length;
    }
    return out;
}

// The floor: the IDAT data inflated in one call into a block allocated once.
void Inflate(const Bytes& idat, Bytes& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) std::exit(1);
    z.next_in = const_cast<Bytef*>(idat.data());
    z.avail_in = static_cast<uInt>(idat.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END) {
        std::fprintf(stderr, "the floor could not inflate\n");
        std::exit(1);
    }
    inflateEnd(&z);
}

struct TReader {
    const Bytes* In;
    size_t Pos;
};
void ReadData(png_structp png, png_bytep data, png_size_t size) {
    auto* r = static_cast<TReader*>(png_get_io_ptr(png));
    if (r->Pos + size > r->In->size()) png_error(png, "read past end");
    std::memcpy(data, r->In->data() + r->Pos, size);
    r->Pos += size;
}

// libpng into a bitmap of TPNG's shape and byte order: 8-bit samples, blue first, grey
// as three equal bytes, palette images as their indexes.
void LibpngDecode(const Bytes& file, quill::TBitmap& into) {
    TReader reader{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "libpng could not decode\n");
        std::exit(1);
    }
    png_set_read_fn(png, &reader, ReadData);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const auto height = static_cast<int>(png_get_image_height(png, info));
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = into.ScanLine(y);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

bool SamePixels(const quill::TBitmap& a, const quill::TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
        return false;
    const size_t bytes =
        static_cast<size_t>(a.Width()) * quill::TBitmap::BitsPerPixel(a.PixelFormat()) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return false;
    return true;
}

template <class F>
double Time(F&& work) {
    const double start = ProcessCpuSeconds();
    work();
    return ProcessCpuSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const quill::TVectorWidth widest = quill::bench::WidestArgument(argc, argv, 2);
    std::vector<TSource> sources;
    sources.push_back(Photo("RGBA 4096 x 4096", 4096, PNG_COLOR_TYPE_RGBA, 8, 0));
    sources.push_back(Photo("RGB 4096 x 4096", 4096, PNG_COLOR_TYPE_RGB, 8, 0));
    sources.push_back(Photo("RGB Adam7 2048 x 2048", 2048, PNG_COLOR_TYPE_RGB, 8, 1));
    sources.push_back(Screen());
    sources.push_back(Photo("grey 16-bit 1024 x 1024", 1024, PNG_COLOR_TYPE_GRAY, 16, 0));

    std::printf("processor time of all threads, median of %d rounds\n", rounds);
    std::printf("%-24s %8s %9s %9s %9s %7s %7s %s\n", "image", "file KiB", "floor ms", "TPNG ms",
                "libpng ms", "TPNG", "libpng", "(x floor)");
    bool allMet = true;
    for (TSource& s : sources) {
        const Bytes file = Encode(s);
        s.Rows = Bytes();
        const Bytes idat = IdatData(file);
        const uint64_t rowBits = uint64_t{s.Width} * s.Depth *
                                 (s.ColorType == PNG_COLOR_TYPE_RGBA  ? 4
                                  : s.ColorType == PNG_COLOR_TYPE_RGB ? 3
                                                                      : 1);
        Bytes inflated(s.Interlace ? (rowBits / 8 + 8) * s.Height * 2
                                   : (rowBits / 8 + 1) * s.Height);
        quill::TMemoryStream stream;
        stream.Write(file.data(), static_cast<int64_t>(file.size()));
        quill::TPNG ours(widest);
        quill::TBitmap theirs;
        auto tpng = [&] {
            stream.SetPosition(0);
            ours.LoadFromStream(stream);
        };
        tpng();  // sizes the bitmap, so that each round writes into the same memory
        theirs.SetPixelFormat(ours.PixelFormat());
        theirs.SetSize(ours.Width(), ours.Height());
        LibpngDecode(file, theirs);
        if (!SamePixels(ours, theirs)) {
            std::fprintf(stderr, "%s: TPNG and libpng decode different pixels\n", s.Name.c_str());
            return 1;
        }
        std::vector<double> floor, mine, peer;
        for (int r = 0; r < rounds; ++r) {
            floor.push_back(Time([&] { Inflate(idat, inflated); }));
            mine.push_back(Time(tpng));
            peer.push_back(Time([&] { LibpngDecode(file, theirs); }));
        }
        const double f = Median(floor), m = Median(mine), p = Median(peer);
        const double mr = MedianRatio(mine, floor), pr = MedianRatio(peer, floor);
        allMet = allMet && mr <= kTarget;
        std::printf("%-24s %8zu %9.1f %9.1f %9.1f %7.2f %7.2f %s\n", s.Name.c_str(),
                    file.size() / 1024, f * 1e3, m * 1e3, p * 1e3, mr, pr,
                    mr <= kTarget ? "" : "over");
    }
    std::printf("target TPNG <= %.2f x the inflate floor on each: %s\n", kTarget,
                allMet ? "met" : "NOT met");
    return 0;
}
