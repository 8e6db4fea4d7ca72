// Decoding speed of TPNG against libpng on four images made here with libpng: a
// 4096 x 4096 RGBA and a 4096 x 4096 RGB photo-like picture (gradients with noise), a
// 2048 x 2048 Adam7 RGB one, and a 256 x 1024 8-bit palette screen picture of 8 x 8
// cells. libpng decodes to 8-bit samples (palette images to their indexes). Prints the
// best of several runs for each, in thread CPU time (which other programs on a busy
// machine disturb far less) and wall time, and the ratios TPNG / libpng; the aim is 1.0
// or less in CPU time.
//
// png_reader_bench [runs]

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/MemoryStream.h"
#include "png/Png.h"
#include "support/BenchSupport.h"

using quill::bench::CpuSeconds;

namespace {

using Bytes = std::vector<uint8_t>;

struct TSource {
    std::string Name;
    uint32_t Width, Height;
    int ColorType, Interlace;
    Bytes Rows;
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
    png_set_IHDR(png, info, s.Width, s.Height, 8, s.ColorType,
                 s.Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s.ColorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, const_cast<png_colorp>(s.Palette.data()),
                     static_cast<int>(s.Palette.size()));
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

TSource Photo(const std::string& name, uint32_t size, int channels, int interlace) {
    TSource s{name,      size, size, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
              interlace, {},   {}};
    s.Rows.resize(static_cast<size_t>(size) * size * channels);
    std::mt19937 rng(7);
    uint8_t* p = s.Rows.data();
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) {
            const int noise = static_cast<int>(rng() % 7) - 3;
            p[0] = static_cast<uint8_t>(
                std::clamp<int>(static_cast<int>(x * 255 / size) + noise, 0, 255));
            p[1] = static_cast<uint8_t>(
                std::clamp<int>(static_cast<int>(y * 255 / size) + noise / 2, 0, 255));
            p[2] = static_cast<uint8_t>(((x + y) * 127 / size + (x / 64 % 2) * 40 + (rng() % 3)));
            if (channels == 4) p[3] = static_cast<uint8_t>(255 - (x * y) / (size * size / 128));
            p += channels;
        }
    return s;
}

// 32 x 128 cells of 8 x 8 pixels, each with an ink and a paper colour out of 16 and a
// glyph-like pattern, as the converter's pictures are.
TSource Screen() {
    TSource s{"256x1024 palette screen", 256, 1024, PNG_COLOR_TYPE_PALETTE, 0, {}, {}};
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

// libpng to 8-bit samples; answers a checksum of the pixels so nothing is optimised away.
uint64_t LibPngDecode(const Bytes& file) {
    TReader reader{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "libpng could not decode\n");
        std::exit(1);
    }
    png_set_read_fn(png, &reader, ReadData);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const uint32_t height = png_get_image_height(png, info);
    pixels.resize(rowBytes * height);
    rows.resize(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = pixels.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels[pixels.size() / 2] + pixels.back();
}

// TPNG from a memory stream holding the file (as libpng reads from memory).
uint64_t TpngDecode(quill::TMemoryStream& stream) {
    stream.SetPosition(0);
    quill::TPNG png;
    png.LoadFromStream(stream);
    const uint8_t* last = png.ScanLine(png.Height() - 1);
    return last[0] + png.ScanLine(png.Height() / 2)[1];
}

// The best of the runs, in thread CPU time (page faults included) and in wall time.
struct TTiming {
    double Cpu = 1e30, Wall = 1e30;
    void Run(const std::function<uint64_t()>& work, uint64_t& sink) {
        const double c = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        sink += work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        Wall = std::min(Wall, took.count());
        Cpu = std::min(Cpu, CpuSeconds() - c);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<TSource> sources;
    sources.push_back(Photo("4096x4096 RGBA", 4096, 4, 0));
    sources.push_back(Photo("4096x4096 RGB", 4096, 3, 0));
    sources.push_back(Photo("2048x2048 RGB Adam7", 2048, 3, 1));
    sources.push_back(Screen());

    std::printf("%-24s %8s %19s %19s %13s\n", "", "", "TPNG ms", "libpng ms", "TPNG/libpng");
    std::printf("%-24s %8s %9s %9s %9s %9s %6s %6s\n", "image", "file KiB", "cpu", "wall", "cpu",
                "wall", "cpu", "wall");
    uint64_t sink = 0;
    bool allMet = true;
    for (TSource& s : sources) {
        const Bytes file = Encode(s);
        s.Rows.clear();
        s.Rows.shrink_to_fit();
        quill::TMemoryStream stream;
        stream.Write(file.data(), static_cast<int64_t>(file.size()));
        TpngDecode(stream);  // warm up
        LibPngDecode(file);
        // Alternate the two so that neither gets a quieter machine.
        TTiming ours, theirs;
        for (int r = 0; r < runs; ++r) {
            ours.Run([&] { return TpngDecode(stream); }, sink);
            theirs.Run([&] { return LibPngDecode(file); }, sink);
        }
        const double ratio = ours.Cpu / theirs.Cpu;
        allMet = allMet && ratio <= 1.0;
        std::printf("%-24s %8zu %9.1f %9.1f %9.1f %9.1f %6.2f %6.2f\n", s.Name.c_str(),
                    file.size() / 1024, ours.Cpu * 1e3, ours.Wall * 1e3, theirs.Cpu * 1e3,
                    theirs.Wall * 1e3, ratio, ours.Wall / theirs.Wall);
    }
    std::printf("target TPNG / libpng <= 1.0 (cpu) on each: %s\n", allMet ? "met" : "NOT met");
    return sink == 42 ? 1 : 0;
}
