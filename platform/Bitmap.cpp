#include "platform/Bitmap.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/BmpFile.h"
#include "platform/FileStream.h"
#include "platform/LargeBlock.h"
#include "platform/PixelAccess.h"

namespace quill {

namespace {

uint32_t Opaque(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

uint32_t IndexColour(const TPalette* palette, int index) {
    if (palette == nullptr || index >= palette->Count()) return Opaque(0, 0, 0);
    const TPaletteEntry& e = palette->Entry(index);
    return Opaque(e.peRed, e.peGreen, e.peBlue);
}

// Widens a 5- or 6-bit channel to 8 bits so that full intensity stays 255.
uint8_t Widen5(unsigned v) {
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}
uint8_t Widen6(unsigned v) {
    return static_cast<uint8_t>((v << 2) | (v >> 4));
}

}  // namespace

uint32_t ReadPixelColour(const TBitmap& bitmap, int x, int y) {
    const uint8_t* row = bitmap.ScanLine(y);
    switch (bitmap.PixelFormat()) {
        case pf1bit:
            return IndexColour(bitmap.Palette(), ReadIndex(row, x, 1));
        case pf4bit:
            return IndexColour(bitmap.Palette(), ReadIndex(row, x, 4));
        case pf8bit:
            return IndexColour(bitmap.Palette(), row[x]);
        case pf15bit: {
            const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            return Opaque(Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31));
        }
        case pf16bit: {
            const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            return Opaque(Widen5((v >> 11) & 31), Widen6((v >> 5) & 63), Widen5(v & 31));
        }
        case pf24bit: {
            const uint8_t* p = row + 3 * x;
            return Opaque(p[2], p[1], p[0]);
        }
        default: {  // 32 bits: blue, green, red, alpha
            const uint8_t* p = row + 4 * x;
            return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
        }
    }
}

int TPixelColourWriter::NearestIndex(uint32_t colour) {
    colour |= 0xFF000000u;  // palettes have no alpha
    if (auto it = nearest_.find(colour); it != nearest_.end()) return it->second;
    const TPalette* palette = bitmap_.Palette();
    const int limit = 1 << TBitmap::BitsPerPixel(bitmap_.PixelFormat());
    const int n = palette == nullptr ? 0 : std::min(palette->Count(), limit);
    const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    int best = 0;
    long bestDistance = LONG_MAX;
    for (int i = 0; i < n; ++i) {
        const TPaletteEntry& e = palette->Entry(i);
        const long dr = e.peRed - r, dg = e.peGreen - g, db = e.peBlue - b;
        const long distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    nearest_.emplace(colour, static_cast<uint8_t>(best));
    return best;
}

void TPixelColourWriter::Write(int x, int y, uint32_t colour) {
    uint8_t* row = bitmap_.ScanLine(y);
    const uint8_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    switch (bitmap_.PixelFormat()) {
        case pf1bit:
        case pf4bit:
        case pf8bit:
            WriteIndex(row, x, TBitmap::BitsPerPixel(bitmap_.PixelFormat()), NearestIndex(colour));
            break;
        case pf15bit: {
            const unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case pf16bit: {
            const unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case pf24bit:
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
            break;
        default:
            row[4 * x] = b;
            row[4 * x + 1] = g;
            row[4 * x + 2] = r;
            row[4 * x + 3] = static_cast<uint8_t>(colour >> 24);
    }
}

TBitmap::TBitmap() : canvas_(*this) {}

TBitmap::~TBitmap() = default;

int TBitmap::BitsPerPixel(TPixelFormat format) {
    switch (format) {
        case pf1bit:
            return 1;
        case pf4bit:
            return 4;
        case pf8bit:
            return 8;
        case pf15bit:
        case pf16bit:
            return 16;
        case pf24bit:
            return 24;
        case pf32bit:
        case pfDevice:
            return 32;
        default:
            throw EInvalidGraphicOperation("A custom pixel format cannot be chosen");
    }
}

void TBitmap::Reshape(int width, int height, TPixelFormat format) {
    if (width < 0 || height < 0)
        throw EInvalidGraphicOperation("Invalid bitmap size " + std::to_string(width) + " x " +
                                       std::to_string(height));
    const int64_t stride = StrideFor(width, BitsPerPixel(format));
    if (stride > INT_MAX || (height > 0 && stride > PTRDIFF_MAX / height))
        throw EOutOfMemory("Bitmap too large: " + std::to_string(width) + " x " +
                           std::to_string(height));
    std::vector<uint8_t> pixels;
    try {
        // Large pixel blocks are asked for huge pages before they are first touched.
        pixels.reserve(static_cast<size_t>(stride * height));
        AdviseHugePages(pixels.data(), stride * height);
        pixels.assign(static_cast<size_t>(stride * height), 0);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory for a bitmap of " + std::to_string(width) + " x " +
                           std::to_string(height));
    }
    // Same format: keep the pixels that stay inside; the bits of a partly kept last
    // byte (1- and 4-bit rows) that lie beyond the kept pixels are cleared.
    if (format == pixelFormat_) {
        const int bits = BitsPerPixel(format);
        const int64_t keptBits = int64_t{std::min(width, width_)} * bits;
        const int64_t keep = (keptBits + 7) / 8;
        const uint8_t lastMask =
            static_cast<uint8_t>(0xFF00 >> (keptBits % 8 == 0 ? 8 : keptBits % 8));
        // Nothing is kept from or into a bitmap of no width (whose storage may be null).
        for (int y = 0; keep > 0 && y < std::min(height, height_); ++y) {
            uint8_t* row = pixels.data() + y * stride;
            std::memcpy(row, pixels_.data() + int64_t{y} * stride_, static_cast<size_t>(keep));
            row[keep - 1] &= lastMask;
        }
    }
    pixels_.swap(pixels);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int>(stride);
    pixelFormat_ = format;
}

void TBitmap::SetWidth(int width) {
    if (width != width_) Reshape(width, height_, pixelFormat_);
}

void TBitmap::SetHeight(int height) {
    if (height != height_) Reshape(width_, height, pixelFormat_);
}

void TBitmap::SetSize(int width, int height) {
    if (width != width_ || height != height_) Reshape(width, height, pixelFormat_);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == pfDevice) format = pf32bit;
    BitsPerPixel(format);  // refuses pfCustom before anything changes
    if (format == pixelFormat_) return;
    TBitmap converted;
    converted.pixelFormat_ = format;
    converted.Reshape(width_, height_, format);
    if (palette_) converted.palette_ = std::make_unique<TPalette>(*palette_);
    const int srcBits = BitsPerPixel(pixelFormat_), dstBits = BitsPerPixel(format);
    const bool indexes = IsPaletteFormat(pixelFormat_) && IsPaletteFormat(format);
    TPixelColourWriter writer(converted);
    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = ScanLine(y);
        uint8_t* dst = converted.ScanLine(y);
        for (int x = 0; x < width_; ++x) {
            if (indexes) {
                // Indexes stay as they are where the new format can hold them.
                const int index = ReadIndex(src, x, srcBits);
                if (index < (1 << dstBits)) {
                    WriteIndex(dst, x, dstBits, index);
                    continue;
                }
            }
            writer.Write(x, y, ReadPixelColour(*this, x, y));
        }
    }
    pixels_.swap(converted.pixels_);
    stride_ = converted.stride_;
    pixelFormat_ = format;
}

void TBitmap::SetPalette(HPALETTE palette) {
    palette_ = std::move(palette);
}

void TBitmap::CheckRow(int y) const {
    if (y < 0 || y >= height_)
        throw EInvalidGraphicOperation("Scan line index out of range: " + std::to_string(y) +
                                       " (height " + std::to_string(height_) + ")");
}

uint8_t* TBitmap::ScanLine(int y) {
    CheckRow(y);
    return pixels_.data() + int64_t{y} * stride_;
}

const uint8_t* TBitmap::ScanLine(int y) const {
    CheckRow(y);
    return pixels_.data() + int64_t{y} * stride_;
}

void TBitmap::Assign(const TBitmap& source) {
    if (&source == this) return;
    std::vector<uint8_t> pixels = source.pixels_;
    HPALETTE palette = source.palette_ ? std::make_unique<TPalette>(*source.palette_) : nullptr;
    pixels_.swap(pixels);
    palette_ = std::move(palette);
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
    pixelFormat_ = source.pixelFormat_;
}

void TBitmap::SaveToFile(const std::string& fileName) {
    // Refuse before the file is created, so that an existing file stays as it was.
    try {
        CheckBmpWritable(*this);
    } catch (const EInvalidGraphicOperation& e) {
        throw EInvalidGraphicOperation("Cannot save \"" + fileName + "\": " + e.Message());
    }
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
    file.Close();
}

void TBitmap::SaveToStream(TStream& stream) {
    WriteBmp(*this, stream);
}

void TBitmap::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead);
    try {
        LoadFromStream(file);
    } catch (const EInvalidGraphic& e) {
        throw EInvalidGraphic("\"" + fileName + "\": " + e.Message(), fileName, e.Message());
    } catch (const EReadError& e) {
        if (e.FileName() == fileName) throw;
        throw EReadError("\"" + fileName + "\": " + e.Message(), fileName, e.Message());
    }
}

void TBitmap::LoadFromStream(TStream& stream) {
    TBitmap loaded;
    ReadBmp(stream, loaded);
    Assign(loaded);
}

}  // namespace quill
