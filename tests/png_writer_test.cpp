#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <random>
#include <thread>

#include "platform/MemoryStream.h"
#include "png/Paeth.h"
#include "png/Png.h"
#include "png/PngChunks.h"
#include "png/PngRegistration.h"
#include "support/BitmapSupport.h"
#include "support/LibpngDecode.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using test::Bytes;

struct Chunk {
    std::string Type;
    Bytes Data;
};

uint32_t BigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Splits a PNG file into its chunks, checking each CRC with zlib's own crc32.
std::vector<Chunk> Chunks(const Bytes& file) {
    std::vector<Chunk> chunks;
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), Bytes(kPngSignature, kPngSignature + 8));
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint32_t length = BigEndian(&file[pos]);
        Chunk c{std::string(file.begin() + static_cast<long>(pos) + 4,
                            file.begin() + static_cast<long>(pos) + 8),
                Bytes(file.begin() + static_cast<long>(pos) + 8,
                      file.begin() + static_cast<long>(pos + 8 + length))};
        const uLong crc = crc32(0, &file[pos + 4], 4 + length);
        EXPECT_EQ(BigEndian(&file[pos + 8 + length]), crc) << c.Type;
        chunks.push_back(std::move(c));
        pos += 12 + length;
    }
    EXPECT_EQ(pos, file.size());
    return chunks;
}

Bytes Inflate(const Bytes& stream, size_t expected) {
    Bytes out(expected + 1);
    uLongf size = out.size();
    EXPECT_EQ(uncompress(out.data(), &size, stream.data(), stream.size()), Z_OK);
    out.resize(size);
    return out;
}

// The filtered image as the PNG rules define it, computed plainly from the scan lines.
Bytes ReferenceFilter(const TBitmap& b, int bpp) {
    auto fileRow = [&](int y) {
        Bytes row(static_cast<size_t>(b.Width() * bpp), 0);
        if (y < 0) return row;
        const uint8_t* line = b.ScanLine(y);
        for (int x = 0; x < b.Width(); ++x)
            for (int k = 0; k < bpp; ++k)
                row[x * bpp + k] = line[x * bpp + (bpp >= 3 && k < 3 ? 2 - k : k)];
        return row;
    };
    Bytes out;
    for (int y = 0; y < b.Height(); ++y) {
        const Bytes row = fileRow(y), above = fileRow(y - 1);
        out.push_back(4);
        for (size_t i = 0; i < row.size(); ++i) {
            const int a = i >= static_cast<size_t>(bpp) ? row[i - bpp] : 0;
            const int c = i >= static_cast<size_t>(bpp) ? above[i - bpp] : 0;
            out.push_back(static_cast<uint8_t>(row[i] - PaethPredictor(a, above[i], c)));
        }
    }
    return out;
}

// libpng's view of the file must match the bitmap pixel for pixel.
void ExpectLibpngSeesTheBitmap(const std::string& name, const TBitmap& b) {
    const test::TDecodedPng png = test::DecodeWithLibpng(name);
    ASSERT_EQ(png.Width, static_cast<uint32_t>(b.Width()));
    ASSERT_EQ(png.Height, static_cast<uint32_t>(b.Height()));
    EXPECT_EQ(png.BitDepth, 8);
    EXPECT_EQ(png.Interlace, PNG_INTERLACE_NONE);
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* line = b.ScanLine(y);
        const Bytes& row = png.Rows[static_cast<size_t>(y)];
        for (int x = 0; x < b.Width(); ++x) {
            switch (b.PixelFormat()) {
                case pf8bit:
                    ASSERT_EQ(png.ColorType, PNG_COLOR_TYPE_PALETTE);
                    ASSERT_EQ(row[x], line[x]) << x << "," << y;
                    break;
                case pf24bit:
                    ASSERT_EQ(png.ColorType, PNG_COLOR_TYPE_RGB);
                    ASSERT_EQ(Bytes(row.begin() + 3 * x, row.begin() + 3 * x + 3),
                              (Bytes{line[3 * x + 2], line[3 * x + 1], line[3 * x]}))
                        << x << "," << y;
                    break;
                default:
                    ASSERT_EQ(png.ColorType, PNG_COLOR_TYPE_RGBA);
                    ASSERT_EQ(
                        Bytes(row.begin() + 4 * x, row.begin() + 4 * x + 4),
                        (Bytes{line[4 * x + 2], line[4 * x + 1], line[4 * x], line[4 * x + 3]}))
                        << x << "," << y;
            }
        }
    }
    if (b.PixelFormat() == pf8bit) {
        ASSERT_EQ(png.Palette.size(), 256u);
        for (int i = 0; i < 256; ++i) {
            const TPaletteEntry e =
                b.Palette() && i < b.Palette()->Count() ? b.Palette()->Entry(i) : TPaletteEntry{};
            EXPECT_EQ(png.Palette[i].red, e.peRed) << i;
            EXPECT_EQ(png.Palette[i].green, e.peGreen) << i;
            EXPECT_EQ(png.Palette[i].blue, e.peBlue) << i;
        }
    }
}

TEST(PngChunks, CrcSwapAndChunkFraming) {
    EXPECT_EQ(ChunkCrc(nullptr, 0, kChunkIEND), 0xAE426082u);
    const uint8_t ihdr[13] = {0, 0, 1, 0, 0, 0, 0, 0x40, 8, 3, 0, 0, 0};
    EXPECT_EQ(ChunkCrc(ihdr, 13, kChunkIHDR), 0xC283598Cu);
    Bytes noise(5000);
    std::mt19937 rng(5);
    for (auto& v : noise) v = static_cast<uint8_t>(rng());
    Bytes typed = {'I', 'D', 'A', 'T'};
    typed.insert(typed.end(), noise.begin(), noise.end());
    for (const TVectorWidth width : test::AllWidths())
        EXPECT_EQ(ChunkCrc(noise.data(), 5000, kChunkIDAT, ProcessorFeatures(width)),
                  crc32(0, typed.data(), 5004))
            << static_cast<int>(width);

    uint32_t v = 0x11223344;
    SwapBytes(v);
    EXPECT_EQ(v, 0x44332211u);
    SwapBytes(v);
    EXPECT_EQ(v, 0x11223344u);

    TMemoryStream s;
    WriteChunk(s, nullptr, 0, kChunkIEND);
    EXPECT_EQ(Bytes(s.Memory(), s.Memory() + s.Size()),
              (Bytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
    TMemoryStream t;
    WriteChunk(t, "ab", 2, kChunktEXt);
    ASSERT_EQ(t.Size(), 14);
    EXPECT_EQ(BigEndian(t.Memory()), 2u);
    EXPECT_EQ(BigEndian(t.Memory() + 10), crc32(0, t.Memory() + 4, 6));
}

TEST(PngChunks, PaethPredictorTiesAndPackPixel) {
    struct Case {
        int a, b, c, want;
    };
    const Case cases[] = {
        {0, 0, 0, 0},          // all zero: the first byte of an image goes through as is
        {7, 7, 7, 7},          // all equal: a
        {10, 20, 10, 20},      // pa = 10 > pb = 0: b
        {20, 10, 10, 20},      // pa = 0: a
        {10, 10, 20, 10},      // pa = pb = 10 < pc: tie goes to a
        {5, 9, 7, 7},          // p = 7: pa = 2, pb = 2, pc = 0: c
        {9, 5, 3, 9},          // p = 11: pa = 2, pb = 6, pc = 8: a
        {3, 9, 6, 6},          // p = 6: pa = 3 = pb, pc = 0: c
        {0, 100, 50, 50},      // p = 50: pa = pb = 50, pc = 0: c
        {100, 0, 50, 50},      // pa = pb = 50, pc = 0: c
        {255, 0, 255, 0},      // p = 0: pa = 255, pb = 0 < pc = 255: b
        {0, 30, 10, 30},       // p = 20: pb = pc = 10 < pa = 20: tie goes to b
        {0, 255, 255, 0},      // p = 0: pa = 0: a
        {200, 100, 150, 150},  // p = 150: pa = 50, pb = 50, pc = 0: c
    };
    for (const Case& c : cases)
        EXPECT_EQ(PaethPredictor(c.a, c.b, c.c), c.want) << c.a << c.b << c.c;
#if defined(__SSE2__)
    // The eight-lane form against the one-byte form, on every a and c for eight b's a step.
    for (int b0 = 0; b0 < 256; b0 += 8)
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c) {
                alignas(16) int16_t got[8];
                _mm_store_si128(reinterpret_cast<__m128i*>(got),
                                PaethPredictor8(_mm_set1_epi16(static_cast<int16_t>(a)),
                                                _mm_setr_epi16(b0, b0 + 1, b0 + 2, b0 + 3, b0 + 4,
                                                               b0 + 5, b0 + 6, b0 + 7),
                                                _mm_set1_epi16(static_cast<int16_t>(c))));
                for (int k = 0; k < 8; ++k)
                    if (got[k] != PaethPredictor(a, b0 + k, c))
                        return ADD_FAILURE() << a << " " << b0 + k << " " << c;
            }
#endif
    const uint32_t pixel = PackPixel(0x30, 0x20, 0x10, 0x40);
    uint8_t bytes[4];
    std::memcpy(bytes, &pixel, 4);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x10, 0x20, 0x30, 0x40}));
}

TEST(PngWriter, WorkedExampleByteForByte) {
    test::TempDir dir;
    TPNG png;
    png.SetPixelFormat(pf8bit);
    png.SetSize(256, 64);
    png.SetPalette(test::SixteenColours());
    std::mt19937 rng(1);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) png.ScanLine(y)[x] = static_cast<uint8_t>(rng() % 16);
    const std::string name = dir.File("1obzor.png");
    png.SaveToFile(name);
    const Bytes file = test::ReadFileBytes(name);

    const Bytes head = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0,    0,    0,
                        0x0D, 'I',  'H',  'D',  'R',  0,    0,    1,    0,    0,    0,
                        0,    0x40, 8,    3,    0,    0,    0,    0xC2, 0x83, 0x59, 0x8C,
                        0,    0,    3,    0,    'P',  'L',  'T',  'E'};
    ASSERT_GT(file.size(), 825u + 12);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 41), head);
    for (int i = 0; i < 256; ++i) {
        const TPaletteEntry e = i < 16 ? png.Palette()->Entry(i) : TPaletteEntry{};
        EXPECT_EQ(Bytes(file.begin() + 41 + 3 * i, file.begin() + 44 + 3 * i),
                  (Bytes{e.peRed, e.peGreen, e.peBlue}))
            << i;
    }
    const uint32_t length = BigEndian(&file[813]);
    EXPECT_EQ(Bytes(file.begin() + 817, file.begin() + 821), (Bytes{'I', 'D', 'A', 'T'}));
    EXPECT_EQ(file[821], 0x78);
    EXPECT_EQ(file[822], 0xDA);
    EXPECT_EQ(file.size(), 825u + length + 12);
    EXPECT_EQ(Bytes(file.end() - 12, file.end()),
              (Bytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));

    const std::vector<Chunk> chunks = Chunks(file);
    ASSERT_EQ(chunks.size(), 4u);
    const Bytes filtered = Inflate(chunks[2].Data, 16448);
    EXPECT_EQ(filtered.size(), 16448u);
    EXPECT_EQ(filtered, ReferenceFilter(png, 1));
    ASSERT_EQ(png.Log().Count(), 1);
    EXPECT_EQ(png.Log()[0], "packed 16448");
    ExpectLibpngSeesTheBitmap(name, png);

    // Into memory, after what the stream holds already: the file's bytes, the same log.
    TMemoryStream memory;
    memory.WriteBuffer("ab", 2);
    png.SavePngToStream(memory);
    EXPECT_EQ(Bytes(memory.Memory() + 2, memory.Memory() + memory.Size()), file);
    EXPECT_EQ(png.Log().Strings(), std::vector<std::string>{"packed 16448"});
}

TEST(PngWriter, SmallestImagesShowPixelOrder) {
    struct Case {
        TPixelFormat format;
        Bytes pixel;     // as stored in the scan line
        Bytes filtered;  // the inflated IDAT data
        uint8_t colourType;
    };
    const Case cases[] = {
        {pf8bit, {9}, {4, 9}, 3},
        {pf24bit, {0x10, 0x20, 0x30}, {4, 0x30, 0x20, 0x10}, 2},
        {pf32bit, {0x10, 0x20, 0x30, 0x00}, {4, 0x30, 0x20, 0x10, 0x00}, 6},
        {pf32bit, {0x10, 0x20, 0x30, 0x99}, {4, 0x30, 0x20, 0x10, 0x99}, 6},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        TPNG png;
        png.SetPixelFormat(c.format);
        png.SetSize(1, 1);
        if (c.format == pf8bit) png.SetPalette(test::SixteenColours());
        std::copy(c.pixel.begin(), c.pixel.end(), png.ScanLine(0));
        const std::string name = dir.File("one.png");
        png.SaveToFile(name);
        const std::vector<Chunk> chunks = Chunks(test::ReadFileBytes(name));
        ASSERT_EQ(chunks.size(), c.format == pf8bit ? 4u : 3u);
        EXPECT_EQ(chunks[0].Data[9], c.colourType);
        EXPECT_EQ(chunks[chunks.size() - 2].Type, "IDAT");
        EXPECT_EQ(Inflate(chunks[chunks.size() - 2].Data, 8), c.filtered);
        EXPECT_EQ(png.Log()[0], "packed " + std::to_string(c.filtered.size()));
        EXPECT_EQ(png.BytesPerPixel(), static_cast<int>(c.pixel.size()));
        ExpectLibpngSeesTheBitmap(name, png);
    }
}

TEST(PngWriter, RandomImagesFilterExactlyAndDecodeWithLibpng) {
    // Noise exercises every branch of the predictor; odd widths exercise row padding.
    test::TempDir dir;
    struct Case {
        TPixelFormat format;
        int bpp, width, height, colours;
    };
    const Case cases[] = {{pf8bit, 1, 1, 9, 256},  {pf8bit, 1, 37, 11, 256}, {pf8bit, 1, 64, 3, 2},
                          {pf24bit, 3, 1, 5, 0},   {pf24bit, 3, 33, 17, 0},  {pf32bit, 4, 2, 1, 0},
                          {pf32bit, 4, 45, 13, 0}, {pf8bit, 1, 300, 2, 40}};
    TPNG png;  // one object serves every save
    for (const Case& c : cases) {
        TBitmap source;
        test::FillRandom(source, c.format, c.width, c.height,
                         static_cast<unsigned>(c.width * 31 + c.height),
                         c.colours ? c.colours : 16);
        png.Assign(source);
        const std::string name = dir.File("r.png");
        png.SaveToFile(name);
        ASSERT_EQ(png.Log().Count(), 1);
        const std::vector<Chunk> chunks = Chunks(test::ReadFileBytes(name));
        const size_t packed = static_cast<size_t>(c.height) * (1 + c.width * c.bpp);
        EXPECT_EQ(Inflate(chunks[chunks.size() - 2].Data, packed), ReferenceFilter(png, c.bpp))
            << c.format << " " << c.width;
        ExpectLibpngSeesTheBitmap(name, png);
    }
}

TEST(PngWriter, ImageOfSeveralMegabytes) {
    // Large enough for the filtered image to take the huge-page allocation path.
    test::TempDir dir;
    TPNG png;
    png.SetPixelFormat(pf32bit);
    png.SetSize(1024, 1100);
    for (int y = 0; y < png.Height(); ++y)
        for (int x = 0; x < png.Width(); ++x) {
            uint8_t* p = png.ScanLine(y) + 4 * x;
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x ^ y);
            p[3] = static_cast<uint8_t>(x * y);
        }
    const std::string name = dir.File("large.png");
    png.SaveToFile(name);
    EXPECT_EQ(png.Log()[0], "packed " + std::to_string(1100 * (1 + 1024 * 4)));
    ExpectLibpngSeesTheBitmap(name, png);
}

TEST(PngWriter, OwnReaderAndTheRegistryReadWhatWasWritten) {
    test::TempDir dir;
    TPngRegistration registration;
    for (TPixelFormat f : {pf8bit, pf24bit, pf32bit}) {
        TPNG out;
        test::FillRandom(out, f, 19, 7, 11);
        const std::string name = dir.File("Round.PnG");
        out.SaveToFile(name);
        std::unique_ptr<TBitmap> in = TPicture::LoadFromFile(name);
        auto* png = dynamic_cast<TPNG*>(in.get());
        ASSERT_NE(png, nullptr);
        ASSERT_EQ(png->Width(), 19);
        ASSERT_EQ(png->Height(), 7);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 19; ++x) {
                ASSERT_EQ(png->Canvas().Pixel(x, y), out.Canvas().Pixel(x, y)) << f;
                if (f == pf32bit) {
                    ASSERT_EQ(png->ScanLine(y)[4 * x + 3], out.ScanLine(y)[4 * x + 3]);
                }
            }
        // A save after a load leaves only its own line in the log.
        png->SaveToFile(dir.File("again.png"));
        ASSERT_EQ(png->Log().Count(), 1);
        EXPECT_EQ(png->Log()[0], "packed " + std::to_string(7 * (1 + 19 * out.BytesPerPixel())));
    }
}

TEST(PngWriter, PaletteChunkAlwaysHas256Entries) {
    test::TempDir dir;
    for (int colours : {0, 2, 16, 256}) {
        TPNG png;
        png.SetPixelFormat(pf8bit);
        png.SetSize(3, 2);
        if (colours) png.SetPalette(test::DistinctColours(colours));
        png.ScanLine(1)[2] = 255;  // a value beyond a short palette: black
        const std::string name = dir.File("p.png");
        png.SaveToFile(name);
        const std::vector<Chunk> chunks = Chunks(test::ReadFileBytes(name));
        ASSERT_EQ(chunks[1].Type, "PLTE");
        EXPECT_EQ(chunks[1].Data.size(), 768u);
        ExpectLibpngSeesTheBitmap(name, png);
    }
}

TEST(PngWriter, RefusalsLeaveAnExistingFileUntouched) {
    test::TempDir dir;
    const std::string name = dir.File("keep.png");
    test::WriteFileBytes(name, test::ToBytes("precious"));
    struct Case {
        TPixelFormat format;
        int width, height;
    };
    for (const Case& c :
         {Case{pf1bit, 8, 8}, Case{pf4bit, 8, 8}, Case{pf15bit, 2, 2}, Case{pf16bit, 2, 2},
          Case{pf8bit, 0, 5}, Case{pf24bit, 5, 0}, Case{pf32bit, 0, 0}}) {
        TPNG png;
        png.SetPixelFormat(c.format);
        png.SetSize(c.width, c.height);
        try {
            png.SaveToFile(name);
            FAIL() << c.format << " saved";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_NE(e.Message().find(name), std::string::npos) << e.Message();
        }
        EXPECT_EQ(test::ToString(test::ReadFileBytes(name)), "precious") << c.format;
        TMemoryStream memory;
        EXPECT_THROW(png.SavePngToStream(memory), EInvalidGraphicOperation) << c.format;
        EXPECT_EQ(memory.Size(), 0) << c.format;
    }
    TPNG png;
    png.SetPixelFormat(pf8bit);
    png.SetSize(1, 1);
    EXPECT_THROW(png.SaveToFile(dir.File("no/such/folder.png")), EFOpenError);
}

TEST(PngWriter, FileIsReplacedEvenWhenTheSaveFails) {
    // A file size limit makes the write of the image data fail part way through.
    test::TempDir dir;
    const std::string name = dir.File("big.png");
    test::WriteFileBytes(name, Bytes(5000, 'x'));
    TPNG png;
    test::FillRandom(png, pf24bit, 200, 200, 3);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 2000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(png.SaveToFile(name), EWriteError);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    const Bytes file = test::ReadFileBytes(name);
    ASSERT_GE(file.size(), 8u);
    EXPECT_LE(file.size(), 2000u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), Bytes(kPngSignature, kPngSignature + 8));
}

TEST(PngWriter, SavesOnSeveralThreadsDoNotInterfere) {
    test::TempDir dir;
    constexpr int kThreads = 4;
    TPNG pngs[kThreads];
    for (int i = 0; i < kThreads; ++i)
        test::FillRandom(pngs[i], i % 2 ? pf32bit : pf8bit, 97 + i, 61, static_cast<unsigned>(i));
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            for (int n = 0; n < 5; ++n) pngs[i].SaveToFile(dir.File(std::to_string(i) + ".png"));
        });
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i)
        ExpectLibpngSeesTheBitmap(dir.File(std::to_string(i) + ".png"), pngs[i]);
}

}  // namespace
}  // namespace quill
