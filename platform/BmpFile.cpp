#include "platform/BmpFile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace quill {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

void Put16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

void CheckBmpWritable(const TBitmap& bitmap) {
    const TPixelFormat f = bitmap.PixelFormat();
    if (f != pf4bit && f != pf8bit && f != pf24bit && f != pf32bit)
        throw EInvalidGraphicOperation(
            "BMP files are written with 4, 8, 24 or 32 bits per pixel only, not " +
            std::to_string(TBitmap::BitsPerPixel(f)));
    if (bitmap.Empty())
        throw EInvalidGraphicOperation("an empty bitmap (" + std::to_string(bitmap.Width()) +
                                       " x " + std::to_string(bitmap.Height()) +
                                       ") cannot be written as BMP");
}

void WriteBmp(const TBitmap& bitmap, TStream& stream) {
    CheckBmpWritable(bitmap);
    const int bits = TBitmap::BitsPerPixel(bitmap.PixelFormat());
    int colours = 0;
    if (bits <= 8) {
        const TPalette* palette = bitmap.Palette();
        colours = palette != nullptr ? std::min(palette->Count(), 1 << bits) : 1 << bits;
    }
    const int64_t imageSize = int64_t{bitmap.BytesPerScanLine()} * bitmap.Height();
    const int64_t offBits = kFileHeaderSize + kInfoHeaderSize + 4 * colours;
    const int64_t fileSize = offBits + imageSize;
    if (fileSize > UINT32_MAX)
        throw EInvalidGraphicOperation("the bitmap is too large for a BMP file");

    std::vector<uint8_t> head(static_cast<size_t>(offBits), 0);
    uint8_t* p = head.data();
    p[0] = 'B';
    p[1] = 'M';
    Put32(p + 2, static_cast<uint32_t>(fileSize));
    Put32(p + 10, static_cast<uint32_t>(offBits));
    p += kFileHeaderSize;
    Put32(p, kInfoHeaderSize);
    Put32(p + 4, static_cast<uint32_t>(bitmap.Width()));
    Put32(p + 8, static_cast<uint32_t>(bitmap.Height()));  // positive: rows bottom-up
    Put16(p + 12, 1);                                      // planes
    Put16(p + 14, static_cast<unsigned>(bits));
    Put32(p + 16, 0);  // uncompressed
    Put32(p + 20, static_cast<uint32_t>(imageSize));
    Put32(p + 32, static_cast<uint32_t>(colours));
    p += kInfoHeaderSize;
    const TPalette* palette = bitmap.Palette();
    for (int i = 0; i < colours && palette != nullptr; ++i) {
        const TPaletteEntry& e = palette->Entry(i);
        p[4 * i] = e.peBlue;
        p[4 * i + 1] = e.peGreen;
        p[4 * i + 2] = e.peRed;
    }
    stream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    for (int y = bitmap.Height() - 1; y >= 0; --y)
        stream.WriteBuffer(bitmap.ScanLine(y), bitmap.BytesPerScanLine());
}

void ReadBmp(TStream& stream, TBitmap& bitmap) {
    const int64_t start = stream.Position();
    const int64_t available = stream.Size() - start;
    if (available < kFileHeaderSize + kInfoHeaderSize)
        throw EInvalidGraphic("not a BMP file: too short (" + std::to_string(available) +
                              " bytes)");
    uint8_t head[kFileHeaderSize + kInfoHeaderSize];
    stream.ReadBuffer(head, sizeof head);
    if (head[0] != 'B' || head[1] != 'M')
        throw EInvalidGraphic("not a BMP file: it does not begin with \"BM\"");
    const uint8_t* info = head + kFileHeaderSize;
    const uint32_t offBits = Get32(head + 10);
    const uint32_t infoSize = Get32(info);
    const auto width = static_cast<int32_t>(Get32(info + 4));
    const auto height = static_cast<int32_t>(Get32(info + 8));
    const uint32_t planes = Get16(info + 12);
    const auto bits = static_cast<int>(Get16(info + 14));
    const uint32_t compression = Get32(info + 16);
    uint32_t colours = Get32(info + 32);

    if (infoSize < kInfoHeaderSize || infoSize > 1024)
        throw EInvalidGraphic("unsupported BMP header of " + std::to_string(infoSize) + " bytes");
    if (planes != 1)
        throw EInvalidGraphic("BMP file with " + std::to_string(planes) + " colour planes");
    if (bits != 4 && bits != 8 && bits != 24 && bits != 32)
        throw EInvalidGraphic("BMP files of " + std::to_string(bits) +
                              " bits per pixel are not supported");
    if (compression != 0)
        throw EInvalidGraphic("compressed BMP files are not supported (compression " +
                              std::to_string(compression) + ")");
    if (width <= 0 || height == 0 || height == INT32_MIN)
        throw EInvalidGraphic("BMP file with an invalid size " + std::to_string(width) + " x " +
                              std::to_string(height));
    const bool topDown = height < 0;
    const int rows = topDown ? -height : height;
    if (bits > 8)
        colours = 0;
    else if (colours == 0)
        colours = 1u << bits;
    else if (colours > (1u << bits))
        throw EInvalidGraphic("BMP colour table of " + std::to_string(colours) + " entries for " +
                              std::to_string(bits) + " bits per pixel");

    const int64_t tableStart = kFileHeaderSize + int64_t{infoSize};
    const int64_t tableEnd = tableStart + 4 * int64_t{colours};
    const int64_t stride = TBitmap::StrideFor(width, bits);
    const int64_t imageEnd = int64_t{offBits} + stride * rows;
    if (offBits < tableEnd || imageEnd > available)
        throw EInvalidGraphic("BMP file is truncated or its pixel data lies outside it (" +
                              std::to_string(available) + " bytes, " + std::to_string(imageEnd) +
                              " needed)");

    std::vector<uint8_t> table(4 * colours);
    stream.SetPosition(start + tableStart);
    stream.ReadBuffer(table.data(), static_cast<int64_t>(table.size()));

    TBitmap result;
    result.SetPixelFormat(bits == 4 ? pf4bit : bits == 8 ? pf8bit : bits == 24 ? pf24bit : pf32bit);
    result.SetSize(width, rows);
    if (colours > 0) {
        TLogPalette log;
        log.palPalEntry.resize(colours);
        for (uint32_t i = 0; i < colours; ++i) {
            log.palPalEntry[i].peBlue = table[4 * i];
            log.palPalEntry[i].peGreen = table[4 * i + 1];
            log.palPalEntry[i].peRed = table[4 * i + 2];
        }
        result.SetPalette(CreatePalette(log));
    }
    stream.SetPosition(start + offBits);
    for (int i = 0; i < rows; ++i)
        stream.ReadBuffer(result.ScanLine(topDown ? i : rows - 1 - i), stride);
    bitmap.Assign(result);
}

}  // namespace quill
