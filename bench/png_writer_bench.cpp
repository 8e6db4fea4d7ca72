// Encoding speed of TPNG and libpng against the zlib floor: zlib level 9 of the
// Paeth-filtered rows alone. Three images: a converter-style screen picture (256 x 1024,
// 8-bit palette, 8 x 8 cells of two colours each) and a photo-like picture as 1024 x 1024
// RGB and RGBA. libpng runs at TPNG's settings (zlib level 9, default strategy, Paeth on
// every row, no interlace). The three sides alternate in each round; time is the
// processor time of all threads, and each ratio to the floor is the median of the rounds'
// ratios.
// TPNG's image data must be the floor's bytes. The target is 1.03 x the floor or less.
//
// png_writer_bench [rounds [plain|sse2|avx2|avx512]]   (the last: the widest kernels)
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "png/Paeth.h"
#include "png/Png.h"
#include "support/BenchSupport.h"

using namespace quill;
using quill::bench::Median;
using quill::bench::MedianRatio;
using quill::bench::ProcessCpuSeconds;
using quill::bench::SaveWithLibpng;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr double kTarget = 1.03;

const uint8_t kColours[16][3] = {{0, 0, 0},    {0, 0, 168},   {168, 0, 0},   {168, 0, 168},
                                 {0, 168, 0},  {0, 168, 168}, {168, 168, 0}, {168, 168, 168},
                                 {16, 16, 16}, {0, 0, 255},   {255, 0, 0},   {255, 0, 255},
                                 {0, 255, 0},  {0, 255, 255}, {255, 255, 0}, {255, 255, 255}};

// Pages of text in a small font, framed boxes and a few diagrams: each 8 x 8 cell has
// one ink and one paper colour, and neighbouring cells mostly share them.
void ScreenPicture(TBitmap& b) {
    b.SetPixelFormat(pf8bit);
    b.SetSize(256, 1024);
    TLogPalette log;
    for (const auto& c : kColours) log.palPalEntry.push_back({c[0], c[1], c[2], 0});
    b.SetPalette(CreatePalette(log));
    std::mt19937 rng(42);
    // A font of 64 glyphs: a blank top row and left column, strokes in the 7 x 7 rest.
    uint8_t font[64][8];
    for (auto& glyph : font) {
        glyph[0] = 0;
        for (int r = 1; r < 8; ++r) {
            const unsigned shape = rng() % 6;
            glyph[r] = shape == 0   ? 0x7E
                       : shape == 1 ? 0x42
                       : shape == 2 ? 0x3C
                       : shape == 3 ? 0x66
                                    : static_cast<uint8_t>(rng() & 0x7F);
        }
    }
    for (int row = 0; row < 128; ++row) {
        const int kind = (row / 8) % 4;  // text, text, boxes, diagram
        const int ink = 1 + static_cast<int>(rng() % 7) + (row % 3 == 0 ? 8 : 0);
        const int paper = kind == 2 ? 1 : 0;
        const int lineLength = 10 + static_cast<int>(rng() % 22);
        for (int cell = 0; cell < 32; ++cell) {
            uint8_t bits[8] = {};
            if (kind < 2 && cell < lineLength && rng() % 7 != 0)
                std::copy_n(font[rng() % 64], 8, bits);
            if (kind == 2 && (cell == 0 || cell == 31 || row % 8 == 0))
                std::fill(bits, bits + 8, cell == 0 ? 0x80 : cell == 31 ? 0x01 : 0);
            if (kind == 2 && row % 8 == 0) bits[0] = 0xFF;
            for (int y = 0; y < 8; ++y) {
                if (kind == 3) {  // a sine curve and axes
                    const int py = row * 8 + y, px0 = cell * 8;
                    bits[y] = 0;
                    for (int k = 0; k < 8; ++k) {
                        const double v = 32 + 28 * std::sin((px0 + k) / 20.0);
                        if (std::abs((py % 64) - v) < 1.5 || px0 + k == 16 || py % 64 == 32)
                            bits[y] = static_cast<uint8_t>(bits[y] | (0x80 >> k));
                    }
                }
                uint8_t* line = b.ScanLine(row * 8 + y) + cell * 8;
                for (int k = 0; k < 8; ++k)
                    line[k] = static_cast<uint8_t>(bits[y] & (0x80 >> k) ? ink : paper);
            }
        }
    }
}

// A photograph-like RGBA image: smooth gradients and shapes with mild sensor noise,
// and an alpha channel that is opaque except for a soft vignette.
void PhotoLike(TBitmap& b, int size, TPixelFormat format) {
    const int bpp = format == pf32bit ? 4 : 3;
    b.SetPixelFormat(format);
    b.SetSize(size, size);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 2.0);
    for (int y = 0; y < size; ++y) {
        uint8_t* line = b.ScanLine(y);
        for (int x = 0; x < size; ++x) {
            const double u = static_cast<double>(x) / size, v = static_cast<double>(y) / size;
            const double dx = u - 0.6, dy = v - 0.4;
            const bool disc = dx * dx + dy * dy < 0.04;
            double r = 40 + 180 * u, g = 60 + 150 * v, bl = 200 - 120 * u * v;
            if (disc) r = 230, g = 190 - 60 * v, bl = 60;
            const double stripe = (static_cast<int>(u * 24 + v * 6) % 5 == 0) ? 25 : 0;
            auto clamp = [](double c) { return static_cast<uint8_t>(std::clamp(c, 0.0, 255.0)); };
            line[bpp * x] = clamp(bl + noise(rng));
            line[bpp * x + 1] = clamp(g - stripe + noise(rng));
            line[bpp * x + 2] = clamp(r + noise(rng));
            const double edge = std::min({u, v, 1 - u, 1 - v});
            if (bpp == 4) line[4 * x + 3] = edge > 0.05 ? 255 : clamp(edge / 0.05 * 255);
        }
    }
}

// The rows in the file's byte order, each after the Paeth filter type, filtered plainly
// byte by byte: what zlib is given, and so the floor's input.
Bytes PaethFiltered(const TBitmap& b) {
    const int bpp = b.PixelFormat() == pf8bit ? 1 : b.PixelFormat() == pf24bit ? 3 : 4;
    const size_t n = static_cast<size_t>(b.Width()) * bpp;
    Bytes out, above(n, 0), row(n);
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* line = b.ScanLine(y);
        for (size_t i = 0; i < n; ++i) {  // blue, green, red to red, green, blue
            const size_t c = i % bpp;
            row[i] = bpp == 1 || c == 3 ? line[i] : line[i - c + 2 - c];
        }
        out.push_back(4);
        for (size_t i = 0; i < n; ++i) {
            const int a = i >= static_cast<size_t>(bpp) ? row[i - bpp] : 0;
            const int c = i >= static_cast<size_t>(bpp) ? above[i - bpp] : 0;
            out.push_back(static_cast<uint8_t>(row[i] - PaethPredictor(a, above[i], c)));
        }
        above = row;
    }
    return out;
}

// The floor: one deflate at level 9 into a block allocated once; answers its size.
size_t Deflate(const Bytes& in, Bytes& out) {
    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK) std::exit(1);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::exit(1);
    deflateEnd(&z);
    return z.total_out;
}

// The data of the one IDAT chunk of a file TPNG wrote.
Bytes IdatOf(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    for (size_t at = 8; at + 12 <= file.size();) {
        const size_t length = (size_t{file[at]} << 24) | (size_t{file[at + 1]} << 16) |
                              (size_t{file[at + 2]} << 8) | file[at + 3];
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
            return Bytes(file.begin() + static_cast<long>(at + 8),
                         file.begin() + static_cast<long>(at + 8 + length));
        at += 12 + length;
    }
    return {};
}

template <class F>
double Time(F&& work) {
    const double start = ProcessCpuSeconds();
    work();
    return ProcessCpuSeconds() - start;
}

// Prints one image's line; answers whether TPNG met the target.
bool Measure(const char* what, TPNG& image, int rounds, const std::string& dir) {
    const std::string a = dir + "/tpng.png", b = dir + "/libpng.png";
    const Bytes filtered = PaethFiltered(image);
    Bytes compressed(deflateBound(nullptr, static_cast<uLong>(filtered.size())) + 1024);
    size_t size = Deflate(filtered, compressed);
    image.SaveToFile(a);
    if (IdatOf(a) != Bytes(compressed.begin(), compressed.begin() + static_cast<long>(size))) {
        std::fprintf(stderr, "%s: TPNG's image data are not zlib's of the filtered rows\n", what);
        std::exit(1);
    }
    std::vector<double> floor, ours, peer;
    for (int i = 0; i < rounds; ++i) {
        floor.push_back(Time([&] { size = Deflate(filtered, compressed); }));
        ours.push_back(Time([&] { image.SaveToFile(a); }));
        peer.push_back(Time([&] { SaveWithLibpng(image, b); }));
    }
    const double f = Median(floor), m = Median(ours), p = Median(peer);
    const double mr = MedianRatio(ours, floor), pr = MedianRatio(peer, floor);
    std::printf("%-22s %9zu %9ju %9.1f %9.1f %9.1f %7.3f %7.3f %s\n", what, size,
                std::filesystem::file_size(b), f * 1e3, m * 1e3, p * 1e3, mr, pr,
                mr <= kTarget ? "" : "over");
    return mr <= kTarget;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const TVectorWidth widest = bench::WidestArgument(argc, argv, 2);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("png_writer_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    std::printf("processor time of all threads, median of %d rounds\n", rounds);
    std::printf("%-22s %9s %9s %9s %9s %9s %7s %7s %s\n", "image", "IDAT", "libpng", "floor ms",
                "TPNG ms", "libpng ms", "TPNG", "libpng", "(x floor)");
    TPNG screen(widest), rgb(widest), rgba(widest);
    ScreenPicture(screen);
    PhotoLike(rgb, 1024, pf24bit);
    PhotoLike(rgba, 1024, pf32bit);
    bool met = Measure("palette 256 x 1024", screen, rounds, dir.string());
    met = Measure("RGB 1024 x 1024", rgb, rounds, dir.string()) && met;
    met = Measure("RGBA 1024 x 1024", rgba, rounds, dir.string()) && met;
    std::filesystem::remove_all(dir);
    std::printf("target TPNG <= %.2f x the zlib level-9 floor on each: %s\n", kTarget,
                met ? "met" : "NOT met");
    return 0;
}
