#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/FileStream.h"
#include "platform/LargeBlock.h"
#include "png/DeflateBuffer.h"
#include "png/FilterType.h"
#include "png/Paeth.h"
#include "png/Png.h"
#include "png/PngChunks.h"

namespace quill {

namespace {

// Paeth-filters one row of n bytes with filter distance bpp into out; above is the
// unfiltered row above (zeros for the top row). Every byte is independent of the others,
// so sixteen are filtered at a time.
template <int bpp>
void PaethRow(const uint8_t* __restrict row, const uint8_t* __restrict above,
              uint8_t* __restrict out, int64_t n) {
    // Leftmost pixel: a = c = 0, so the predictor is the byte above.
    for (int i = 0; i < bpp && i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - above[i]);
    int64_t i = bpp;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    auto load = [](const uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i a = load(row + i - bpp), b = load(above + i), c = load(above + i - bpp);
        const __m128i low = PaethPredictor8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                            _mm_unpacklo_epi8(c, zero));
        const __m128i high = PaethPredictor8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                             _mm_unpackhi_epi8(c, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_sub_epi8(load(row + i), _mm_packus_epi16(low, high)));
    }
#endif
    for (; i < n; ++i)
        out[i] =
            static_cast<uint8_t>(row[i] - PaethPredictor(row[i - bpp], above[i], above[i - bpp]));
}

// A 24- or 32-bit scan line (blue, green, red[, alpha]) in the file's order
// (red, green, blue[, alpha]).
template <int bpp>
void ToFileOrder(const uint8_t* __restrict row, uint8_t* __restrict out, int width) {
    if constexpr (bpp == 3) {
        // A pixel a word: its three bytes and the next pixel's first, reversed and shifted
        // down; the fourth byte written is the next pixel's place.
        for (int x = 0; x + 1 < width; ++x) {
            uint32_t v;
            std::memcpy(&v, row + 3 * x, 4);
            v = __builtin_bswap32(v) >> 8;
            std::memcpy(out + 3 * x, &v, 4);
        }
        if (width > 0) {
            const int x = width - 1;
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
        return;
    }
    for (int x = 0; x < width; ++x) {
        out[bpp * x] = row[bpp * x + 2];
        out[bpp * x + 1] = row[bpp * x + 1];
        out[bpp * x + 2] = row[bpp * x];
        if constexpr (bpp == 4) out[bpp * x + 3] = row[bpp * x + 3];
    }
}

template <class T>
std::unique_ptr<T[]> Allocate(int64_t n) {
    try {
        return std::make_unique_for_overwrite<T[]>(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory (" + std::to_string(n) + " bytes for the PNG image)");
    }
}

}  // namespace

void TPNG::SaveToFile(const std::string& fileName) {
    log_.Clear();
    const std::string target = "\"" + fileName + "\"";
    const TColourType colourType = SavedColourType(target);
    // Create the file empty first (a failure here shows when it is opened for writing),
    // so a save that fails later still replaces an older file of that name.
    try {
        TFileStream create(fileName, fmCreate);
    } catch (const EFCreateError&) {
    }
    TFileStream file(fileName, fmOpenWrite);
    WritePng(file, colourType, target);
    // Some systems refuse the last write only when the file is closed.
    file.Close();
}

void TPNG::SavePngToStream(TStream& stream) {
    log_.Clear();
    const std::string target = "the image";
    WritePng(stream, SavedColourType(target), target);
}

// What the writer cannot express is refused here, before anything is written: a file
// left behind with no valid header would look like a PNG and not be one.
TColourType TPNG::SavedColourType(const std::string& target) {
    TColourType colourType = TColourType::Grey;
    switch (PixelFormat()) {
        case pf8bit:
            colourType = TColourType::Palette;
            bytesPerPixel_ = 1;
            break;
        case pf24bit:
            colourType = TColourType::Rgb;
            bytesPerPixel_ = 3;
            break;
        case pf32bit:
            colourType = TColourType::Rgba;
            bytesPerPixel_ = 4;
            break;
        default:
            throw EInvalidGraphicOperation(
                "Cannot save " + target + " as PNG: bitmaps of " +
                std::to_string(BitsPerPixel(PixelFormat())) +
                " bits per pixel are not supported (8-bit palette, 24-bit or 32-bit only)");
    }
    if (Empty())
        throw EInvalidGraphicOperation("Cannot save " + target + " as PNG: the image is " +
                                       std::to_string(Width()) + " x " + std::to_string(Height()) +
                                       " pixels");
    return colourType;
}

void TPNG::WritePng(TStream& stream, TColourType colourType, const std::string& target) {
    uint8_t header[13];
    PutBigEndian(header, static_cast<uint32_t>(Width()));
    PutBigEndian(header + 4, static_cast<uint32_t>(Height()));
    header[8] = 8;  // bit depth
    header[9] = static_cast<uint8_t>(colourType);
    header[10] = 0;  // compression method
    header[11] = 0;  // filter method
    header[12] = 0;  // interlace method
    stream.WriteBuffer(kPngSignature, sizeof kPngSignature);
    WriteChunk(stream, header, sizeof header, kChunkIHDR, features_);

    if (colourType == TColourType::Palette) {
        // Entry i is the colour the bitmap shows for value i: its palette's entry, and
        // black beyond the palette.
        uint8_t plte[768] = {};
        if (const TPalette* palette = Palette()) {
            for (int i = 0; i < palette->Count() && i < 256; ++i) {
                const TPaletteEntry& e = palette->Entry(i);
                plte[3 * i] = e.peRed;
                plte[3 * i + 1] = e.peGreen;
                plte[3 * i + 2] = e.peBlue;
            }
        }
        WriteChunk(stream, plte, sizeof plte, kChunkPLTE, features_);
    }
    WriteFilteredImage(stream, target);
    WriteChunk(stream, nullptr, 0, kChunkIEND, features_);
}

// The rows Paeth-filtered, compressed into the one IDAT chunk.
void TPNG::WriteFilteredImage(TStream& stream, const std::string& target) {
    // The filtered image belongs to this save alone, so saves on other threads do not
    // share it.
    const int width = Width(), height = Height();
    const int64_t rowBytes = int64_t{width} * bytesPerPixel_;
    const int64_t packed = height * (1 + rowBytes);
    TLargeBlock work = AllocateLargeBlock(packed, "the filtered PNG image");
    std::unique_ptr<uint8_t[]> rows = Allocate<uint8_t>(2 * rowBytes);  // file-order rows
    uint8_t* current = rows.get();
    uint8_t* above = rows.get() + rowBytes;
    std::memset(above, 0, static_cast<size_t>(rowBytes));
    uint8_t* out = work.get();
    for (int y = 0; y < height; ++y, out += 1 + rowBytes) {
        const uint8_t* line = ScanLine(y);
        out[0] = static_cast<uint8_t>(TFilterType::Paeth);
        switch (bytesPerPixel_) {
            case 1:
                PaethRow<1>(line, y == 0 ? above : ScanLine(y - 1), out + 1, rowBytes);
                break;
            case 3:
                ToFileOrder<3>(line, current, width);
                PaethRow<3>(current, above, out + 1, rowBytes);
                std::swap(current, above);
                break;
            default:
                ToFileOrder<4>(line, current, width);
                PaethRow<4>(current, above, out + 1, rowBytes);
                std::swap(current, above);
        }
    }
    rows.reset();

    TZlibBlock compressed;
    int64_t compressedSize = 0;
    DeflateBuffer(work.get(), packed, compressed, compressedSize);
    log_.Add("packed " + std::to_string(packed));
    if (compressedSize > 0x7FFFFFFF)
        throw EInvalidGraphicOperation("Cannot save " + target +
                                       " as PNG: the compressed image exceeds 2 GiB");
    work.reset();
    WriteChunk(stream, compressed.get(), static_cast<uint32_t>(compressedSize), kChunkIDAT,
               features_);
}

}  // namespace quill
