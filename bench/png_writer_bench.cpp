// Encodes a converter-style screen picture (256 x 1024, 8-bit palette, 8 x 8 cells of
// two colours each) and a 4096 x 4096 RGBA image with TPNG and with libpng at the same
// settings (zlib level 9, default strategy, Paeth on every row, no interlace), in the
// same run, and prints the times and the ratio TPNG / libpng (best of several runs).
// The ratio is taken on the encoding thread's CPU time, which other programs on a busy
// machine disturb far less than the wall-clock time printed beside it.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "png/Png.h"
#include "support/BenchSupport.h"

using namespace quill;
using quill::bench::CpuSeconds;
using quill::bench::SaveWithLibpng;
using Clock = std::chrono::steady_clock;

namespace {

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
void PhotoLike(TBitmap& b, int size) {
    b.SetPixelFormat(pf32bit);
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
            line[4 * x] = clamp(bl + noise(rng));
            line[4 * x + 1] = clamp(g - stripe + noise(rng));
            line[4 * x + 2] = clamp(r + noise(rng));
            const double edge = std::min({u, v, 1 - u, 1 - v});
            line[4 * x + 3] = edge > 0.05 ? 255 : clamp(edge / 0.05 * 255);
        }
    }
}

struct Timing {
    double cpu = 1e9, wall = 1e9;
    uintmax_t size = 0;
    template <class F>
    void Run(F&& encode) {
        const double c = CpuSeconds();
        const auto t = Clock::now();
        encode();
        wall = std::min(wall, std::chrono::duration<double>(Clock::now() - t).count());
        cpu = std::min(cpu, CpuSeconds() - c);
    }
};

struct Result {
    Timing ours, libpng;
};

Result Measure(TPNG& image, int runs, const std::string& dir) {
    Result r;
    const std::string a = dir + "/tpng.png", b = dir + "/libpng.png";
    for (int i = 0; i < runs; ++i) {  // alternate, so both see the same machine load
        r.ours.Run([&] { image.SaveToFile(a); });
        r.libpng.Run([&] { SaveWithLibpng(image, b); });
    }
    r.ours.size = std::filesystem::file_size(a);
    r.libpng.size = std::filesystem::file_size(b);
    return r;
}

void Print(const char* what, const Result& r) {
    std::printf("%s\n", what);
    for (const auto& [name, t] : {std::pair{"TPNG  ", r.ours}, std::pair{"libpng", r.libpng}})
        std::printf("  %s  cpu %9.2f ms   wall %9.2f ms   %9ju bytes\n", name, t.cpu * 1e3,
                    t.wall * 1e3, t.size);
    std::printf("  ratio TPNG / libpng: cpu %.3f   wall %.3f\n", r.ours.cpu / r.libpng.cpu,
                r.ours.wall / r.libpng.wall);
}

}  // namespace

int main(int argc, char** argv) {
    // Arguments: runs of the large image (0 skips it), runs of the screen picture.
    const int bigRuns = argc > 1 ? std::max(0, std::atoi(argv[1])) : 3;
    const int smallRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("png_writer_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    TPNG screen;
    ScreenPicture(screen);
    const Result small = Measure(screen, smallRuns, dir.string());
    Print("256 x 1024 8-bit screen picture", small);

    Result big;
    if (bigRuns > 0) {
        TPNG photo;
        PhotoLike(photo, 4096);
        big = Measure(photo, bigRuns, dir.string());
        Print("4096 x 4096 RGBA image", big);
    }

    std::filesystem::remove_all(dir);
    const bool ok = small.ours.cpu <= small.libpng.cpu && big.ours.cpu <= big.libpng.cpu;
    std::printf("target TPNG / libpng <= 1.0 (cpu): %s\n", ok ? "met" : "NOT met");
    return 0;
}
