// Writes the fuzz targets' seed inputs: small files made by our own writer and by the
// tests' chunk builder, one folder per target.
//   make_fuzz_seeds OUTPUT_FOLDER
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Palette.h"
#include "png/Png.h"
#include "support/PngTestImages.h"
#include "support/TestSupport.h"

using namespace quill;
using test::Bytes;

namespace {

std::filesystem::path out;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path folder = out / target;
    std::filesystem::create_directories(folder);
    test::WriteFileBytes((folder / name).string(), bytes);
}

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245 + 12345;
        b[i] = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

// The filtered image data of a width x height image, all passes when interlaced, each
// row's filter type cycling through the five.
Bytes FilteredRows(uint32_t width, uint32_t height, int bitsPerPixel, bool interlaced) {
    static const int kStart[7][2] = {{0, 0}, {4, 0}, {0, 4}, {2, 0}, {0, 2}, {1, 0}, {0, 1}};
    static const int kStep[7][2] = {{8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}};
    Bytes raw;
    int filter = 0;
    auto rows = [&](uint32_t w, uint32_t h) {
        if (w == 0 || h == 0) return;
        const size_t bytes = (size_t{w} * bitsPerPixel + 7) / 8;
        for (uint32_t y = 0; y < h; ++y) {
            raw.push_back(static_cast<uint8_t>(filter++ % 5));
            const Bytes row = Pattern(bytes, y * 31 + w);
            raw.insert(raw.end(), row.begin(), row.end());
        }
    };
    if (!interlaced) {
        rows(width, height);
    } else {
        for (int p = 0; p < 7; ++p)
            rows((width + kStep[p][0] - 1 - kStart[p][0]) / kStep[p][0],
                 (height + kStep[p][1] - 1 - kStart[p][1]) / kStep[p][1]);
    }
    return raw;
}

Bytes WrittenPng(TPixelFormat format, int width, int height, int colours) {
    TPNG png;
    png.SetPixelFormat(format);
    png.SetSize(width, height);
    if (colours > 0) {
        TLogPalette log;
        for (int i = 0; i < colours; ++i)
            log.palPalEntry.push_back(TPaletteEntry{static_cast<uint8_t>(i * 60),
                                                    static_cast<uint8_t>(255 - i * 50),
                                                    static_cast<uint8_t>(i * 90), 0});
        png.SetPalette(CreatePalette(log));
    }
    const Bytes pixels = Pattern(static_cast<size_t>(png.BytesPerScanLine()) * height, 7);
    for (int y = 0; y < height; ++y) {
        uint8_t* line = png.ScanLine(y);
        for (int x = 0; x < png.BytesPerScanLine(); ++x) {
            const uint8_t v = pixels[static_cast<size_t>(y * png.BytesPerScanLine() + x)];
            line[x] = colours > 0 ? static_cast<uint8_t>(v % colours) : v;
        }
    }
    const std::string file = (out / "written.png").string();
    png.SaveToFile(file);
    Bytes bytes = test::ReadFileBytes(file);
    std::filesystem::remove(file);
    return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_fuzz_seeds OUTPUT_FOLDER\n";
        return 2;
    }
    out = argv[1];
    std::filesystem::create_directories(out);

    // The reader: what our writer makes, and the colour types and depths it does not
    // make, interlaced or split over several IDAT chunks, with text and a palette.
    Seed("png_reader_fuzz", "palette8.png", WrittenPng(pf8bit, 5, 3, 4));
    Seed("png_reader_fuzz", "rgb8.png", WrittenPng(pf24bit, 4, 4, 0));
    Seed("png_reader_fuzz", "rgba8.png", WrittenPng(pf32bit, 3, 2, 0));
    Seed("png_reader_fuzz", "grey1-interlaced.png",
         test::BuildPng(test::IhdrData(9, 9, 1, 0, 1),
                        {test::Chunk("IDAT", test::Deflate(FilteredRows(9, 9, 1, true)))}));
    Seed("png_reader_fuzz", "greyalpha16.png",
         test::BuildPng(test::IhdrData(3, 3, 16, 4),
                        {test::Chunk("IDAT", test::Deflate(FilteredRows(3, 3, 32, false)))}));
    Seed("png_reader_fuzz", "rgb16-interlaced.png",
         test::BuildPng(test::IhdrData(5, 5, 16, 2, 1),
                        {test::Chunk("IDAT", test::Deflate(FilteredRows(5, 5, 48, true)))}));
    {
        const Bytes data = test::Deflate(FilteredRows(6, 4, 2, false));
        const Bytes half1(data.begin(), data.begin() + static_cast<long>(data.size() / 2));
        const Bytes half2(data.begin() + static_cast<long>(data.size() / 2), data.end());
        Seed("png_reader_fuzz", "palette2-text-split.png",
             test::BuildPng(test::IhdrData(6, 4, 2, 3),
                            {test::Chunk("tEXt", Text(std::string("Comment\0seed", 12))),
                             test::Chunk("PLTE", Pattern(12, 3)), test::Chunk("IDAT", half1),
                             test::Chunk("IDAT", half2)}));
    }

    // The decompression stream: eight operation bytes, then a zlib stream.
    const Bytes ops = {0x40, 0x01, 0x81, 0x02, 0xFF, 0x00, 0x03, 0x10};
    Seed("decompression_fuzz", "text.z",
         Concat({ops, test::Deflate(Text("a few words, a few words again, and once more."))}));
    Seed("decompression_fuzz", "stored.z", Concat({ops, test::Deflate(Pattern(300, 5), 0)}));
    Seed("decompression_fuzz", "long.z",
         Concat({{0x00, 0xFC, 0x05, 0x02, 0x00, 0x83, 0xC3, 0x00},
                 test::Deflate(Bytes(20000, 'q'), 9)}));

    // The conversion run: one option byte, then the document: the bundled sample under
    // two option sets, and small documents with colour codes and pictures.
    const Bytes sample = test::ReadFileBytes(QUILL_SOURCE_DIR "/examples/obzor.$w");
    Seed("conversion_fuzz", "sample-header-plain", Concat({{0x10}, sample}));
    Seed("conversion_fuzz", "sample-header-all", Concat({{0x1F}, sample}));
    const std::string header(17, 'H');
    const std::string doc =
        "plain <&> line\r\x01red\x02green\x03 line coloured\x05\r"
        "\xFF\x80\r\xFF\x81\r\xFF\x82\rtext\r\xFF\x80\r\xFF\x81\r"
        "\xFF\x90\rlast\x00"
        "picture data follows\x01\x02\x03";
    Seed("conversion_fuzz", "pictures-colors", Concat({{0x01}, Text(doc)}));
    Seed("conversion_fuzz", "pictures-quillo-bmp", Concat({{0x1E}, Text(header + doc)}));

    // The round trip: format byte, width, height, then palette and pixels.
    Seed("png_roundtrip_fuzz", "palette", Concat({{0x00, 6, 3, 3}, Pattern(40, 9)}));
    Seed("png_roundtrip_fuzz", "rgb", Concat({{0x01, 9, 4}, Pattern(60, 11)}));
    Seed("png_roundtrip_fuzz", "rgba-wide", Concat({{0x82, 0xC8, 2}, Pattern(90, 13)}));
    return 0;
}
