// The PNG reader: TPNG::LoadFromStream and the chunks it reads, up to the image data,
// which the row decoder (or the pixel walk alone) turns into pixels. Log lines are
// Windows-1251 bytes.

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Palette.h"
#include "png/DecompressionStream.h"
#include "png/ImageLayout.h"
#include "png/PixelWalk.h"
#include "png/Png.h"
#include "png/PngChunks.h"
#include "png/RowDecoder.h"

namespace quill {

namespace {

// Log lines (Windows-1251).
const char kNotPng[] = "\xDD\xF2\xEE \xED\xE5 PNG!";                         // Это не PNG!
const char kHeight[] = "\xC2\xFB\xF1\xEE\xF2\xE0 ";                          // Высота
const char kWidth[] = "\xD8\xE8\xF0\xE8\xED\xE0 ";                           // Ширина
const char kBitDepth[] = "\xC1\xE8\xF2 \xED\xE0 \xEF\xE8\xEA\xF1\xE5\xEB ";  // Бит на пиксел
const char kColorType[] = "\xD2\xE8\xEF \xF6\xE2\xE5\xF2\xE0 ";              // Тип цвета
const char kCompression[] = "\xC2\xE8\xE4 \xF1\xE6\xE0\xF2\xE8\xFF ";        // Вид сжатия
const char kFilterMethod[] =  // Фильтрация до сжатия
    "\xD4\xE8\xEB\xFC\xF2\xF0\xE0\xF6\xE8\xFF \xE4\xEE \xF1\xE6\xE0\xF2\xE8\xFF ";
const char kFilterTypes[] = "\xD2\xE8\xEF\xFB \xF4\xE8\xEB\xFC\xF2\xF0\xEE\xE2:";  // Типы фильтров:
// Our own lines for a header that cannot be decoded: "Недопустимый заголовок: " and why.
const char kBadHeader[] =
    "\xCD\xE5\xE4\xEE\xEF\xF3\xF1\xF2\xE8\xEC\xFB\xE9 \xE7\xE0\xE3\xEE\xEB\xEE\xE2\xEE\xEA: ";
const char kBadLength[] = "\xE4\xEB\xE8\xED\xE0 ";                                 // длина N
const char kZeroSize[] = "\xED\xF3\xEB\xE5\xE2\xEE\xE9 \xF0\xE0\xE7\xEC\xE5\xF0";  // нулевой размер
const char kMoreThan[] = "\xE1\xEE\xEB\xFC\xF8\xE5 ";  // больше N пикселов
const char kPixels[] = " \xEF\xE8\xEA\xF1\xE5\xEB\xEE\xE2";
const char kBadType[] = "\xF2\xE8\xEF \xF6\xE2\xE5\xF2\xE0 ";  // тип цвета N
const char kBadTypeDepth[] =
    ", \xE1\xE8\xF2 \xED\xE0 \xEF\xE8\xEA\xF1\xE5\xEB ";  // , бит на пиксел M
const char kBadMethod[] =  // метод сжатия, фильтрации или чередования
    "\xEC\xE5\xF2\xEE\xE4 \xF1\xE6\xE0\xF2\xE8\xFF, \xF4\xE8\xEB\xFC\xF2\xF0\xE0\xF6\xE8\xE8 "
    "\xE8\xEB\xE8 \xF7\xE5\xF0\xE5\xE4\xEE\xE2\xE0\xED\xE8\xFF";

// The largest image the reader decodes. The bitmap is sized at the header, before any

// The largest image the reader decodes. The bitmap is sized at the header, before any
// image data is seen, so a few bytes of header must not be able to ask for gigabytes:
// 2^28 pixels are at most 1 GiB of 32-bit bitmap.
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

bool SameType(const uint8_t* type, const char code[4]) {
    return std::memcmp(type, code, 4) == 0;
}

// The bit depths the PNG standard allows for each colour type.
bool DepthAllowed(TColourType colourType, int depth) {
    switch (colourType) {
        case TColourType::Grey:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case TColourType::Palette:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case TColourType::Rgb:
        case TColourType::GreyAlpha:
        case TColourType::Rgba:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

}  // namespace

// Here, where the inflater is a complete type.
TPNG::TPNG(TVectorWidth widest) : features_(ProcessorFeatures(widest)) {}

TPNG::~TPNG() = default;

void TPNG::LoadFromStream(TStream& stream) {
    // Whatever happens, the load's buffers go with it.
    struct TLoadBuffers {
        TPNG& Png;
        ~TLoadBuffers() {
            Png.inflater_.reset();
            Png.imageData_.reset();
            Png.sourceData_.reset();
            Png.source_ = nullptr;
        }
    } buffers{*this};

    // A stream not at its start gives what lies after its position. A memory stream's
    // bytes are read where they lie: copying a large file once more costs a tenth of
    // inflating it.
    const int64_t size = std::max<int64_t>(0, stream.Size() - stream.Position());
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        source_ = memory->Memory() + memory->Position();
        sourceSize_ = size;
        memory->Seek(size, soCurrent);
    } else {
        sourceData_ = std::make_unique<TMemoryStream>();
        sourceData_->SetSize(size);
        const int64_t got = size > 0 ? stream.Read(sourceData_->Memory(), size) : 0;
        source_ = sourceData_->Memory();
        sourceSize_ = got;
    }
    sourcePos_ = 0;
    ReadChunks();
}

TChunkData TPNG::ReadChunkData(int64_t length) {
    // A length past the end of the data reads what is there.
    const int64_t take = std::min(length, sourceSize_ - sourcePos_);
    const TChunkData chunk{source_ + sourcePos_, static_cast<size_t>(take)};
    sourcePos_ += take;
    return chunk;
}

bool TPNG::ReadChunks() {
    imageData_ = std::make_unique<TPieceStream>();
    log_.Clear();
    headerUsable_ = false;

    if (ReadChunkData(8).Size != 8 || std::memcmp(source_, kPngSignature, 8) != 0) {
        log_.Add(kNotPng);
        return false;
    }

    while (sourcePos_ < sourceSize_) {
        uint8_t head[8] = {};
        const TChunkData headRead = ReadChunkData(8);
        std::memcpy(head, headRead.Data, headRead.Size);
        const uint32_t length = BigEndian(head);
        const uint8_t* type = head + 4;
        log_.Add(std::string(reinterpret_cast<const char*>(type), 4) + " (" +
                 std::to_string(length) + ")");

        bool last = false;
        // An IEND with data (there should be none) has them read, so that its CRC is
        // checked over what it holds.
        const TChunkData chunk = ReadChunkData(length);
        if (SameType(type, kChunkIHDR)) {
            ReadHeader(length, chunk);
        } else if (SameType(type, kChunkPLTE)) {
            ReadPalette(chunk);
        } else if (SameType(type, kChunkIDAT)) {
            imageData_->Append(chunk.Data, static_cast<int64_t>(chunk.Size));
        } else if (SameType(type, kChunkIEND)) {
            DecodeImage();
            last = true;
        } else if (SameType(type, kChunktEXt)) {
            log_.Add(std::string(reinterpret_cast<const char*>(chunk.Data), chunk.Size));
        }

        uint8_t stored[4] = {};
        const TChunkData crcRead = ReadChunkData(4);
        std::memcpy(stored, crcRead.Data, crcRead.Size);
        if (BigEndian(stored) != ChunkCrc(chunk.Data, static_cast<uint32_t>(chunk.Size),
                                          reinterpret_cast<const char*>(type), features_))
            log_.Add("CRC error");
        log_.Add("");
        if (last) break;
    }
    return true;
}

void TPNG::ReadHeader(uint32_t length, const TChunkData& chunk) {
    // The chunk's own length is read, so that the chunks after it are found even when it
    // is not 13; a short header reads as zeros past its end.
    uint8_t raw[13] = {};
    if (chunk.Size > 0) std::memcpy(raw, chunk.Data, std::min<size_t>(sizeof raw, chunk.Size));
    header_.Width = BigEndian(raw);
    header_.Height = BigEndian(raw + 4);
    header_.BitDepth = raw[8];
    header_.ColourType = static_cast<TColourType>(raw[9]);
    header_.CompressionMethod = raw[10];
    header_.FilterMethod = raw[11];
    header_.InterlaceMethod = raw[12];

    log_.Add(kHeight + std::to_string(header_.Height));
    log_.Add(kWidth + std::to_string(header_.Width));
    log_.Add(kBitDepth + std::to_string(header_.BitDepth));
    log_.Add(kColorType + std::to_string(raw[9]));
    log_.Add(kCompression + std::to_string(header_.CompressionMethod));
    log_.Add(kFilterMethod + std::to_string(header_.FilterMethod));
    log_.Add(std::string("Adam7 interlace ") + (header_.InterlaceMethod == 0 ? "No" : "Yes"));

    // A header that the decoder cannot follow leaves the bitmap as it is and no pixels
    // are decoded for it.
    headerUsable_ = false;
    const uint64_t pixels = uint64_t{header_.Width} * header_.Height;
    std::string problem;
    if (length != sizeof raw)
        problem = kBadLength + std::to_string(length);
    else if (pixels == 0)
        problem = kZeroSize;
    else if (pixels > kMaxPixels)
        problem = kMoreThan + std::to_string(kMaxPixels) + kPixels;
    else if (!DepthAllowed(header_.ColourType, header_.BitDepth))
        problem =
            kBadType + std::to_string(raw[9]) + kBadTypeDepth + std::to_string(header_.BitDepth);
    else if (header_.CompressionMethod != 0 || header_.FilterMethod != 0 ||
             header_.InterlaceMethod > 1)
        problem = kBadMethod;
    if (!problem.empty()) {
        log_.Add(kBadHeader + problem);
        return;
    }

    const int depth = header_.BitDepth;
    TPixelFormat format = pf24bit;
    sampleStep_ = depth / 8;
    switch (header_.ColourType) {
        case TColourType::Grey:
            if (depth == 16) {
                bytesPerPixel_ = 2;
            } else {
                bytesPerPixel_ = 1;
                sampleStep_ = 8 / depth;
            }
            break;
        case TColourType::Rgb:
            bytesPerPixel_ = 3 * sampleStep_;
            break;
        case TColourType::Palette:
            format = pf8bit;
            bytesPerPixel_ = 1;
            sampleStep_ = 8 / depth;
            break;
        case TColourType::GreyAlpha:
            format = pf32bit;
            bytesPerPixel_ = 2 * sampleStep_;
            break;
        default:  // Rgba
            format = pf32bit;
            bytesPerPixel_ = 4 * sampleStep_;
            break;
    }
    // Format first, then the size in one step: no intermediate shape of the old height
    // and the new width is ever allocated. Pixels of another format are dropped rather
    // than converted: a large image read before (a second header, a second load) would
    // otherwise be converted whole, in a second copy, only to be cut.
    if (format != PixelFormat()) SetSize(0, 0);
    SetPixelFormat(format);
    SetSize(static_cast<int>(header_.Width), static_cast<int>(header_.Height));
    headerUsable_ = true;
}

void TPNG::ReadPalette(const TChunkData& chunk) {
    // Whole entries only, and no more than a bitmap palette holds.
    const size_t n = std::min<size_t>(chunk.Size / 3, 256);
    TLogPalette logPalette;
    logPalette.palVersion = 0x300;
    logPalette.palPalEntry.resize(256);
    for (size_t e = 0; e < n; ++e) {
        TPaletteEntry& entry = logPalette.palPalEntry[e];
        entry.peRed = chunk.Data[3 * e];
        entry.peGreen = chunk.Data[3 * e + 1];
        entry.peBlue = chunk.Data[3 * e + 2];
        entry.peFlags = PC_NOCOLLAPSE;
    }
    if (HPALETTE palette = CreatePalette(logPalette)) SetPalette(std::move(palette));
}

void TPNG::DecodeImage() {
    int64_t n = 0;
    if (headerUsable_) {
        imageData_->SetPosition(0);
        inflater_ = std::make_unique<TDecompressionStream>(*imageData_, features_);
        const TDecodeTarget target{*this,       header_,          bytesPerPixel_,
                                   sampleStep_, filterTypesSeen_, features_};
        const uint64_t room = InflateRoom(header_, bytesPerPixel_);
        const auto compressed = static_cast<uint64_t>(imageData_->Size());
        n = pixelWalkOnly_ ? InflateAndWalk(target, *inflater_, room, compressed)
                           : DecodeRows(target, *inflater_, room, compressed);
        inflater_.reset();
    }

    log_.Add("decompressed " + std::to_string(n));
    log_.Add(kFilterTypes);
    for (int f = 0; f < 256; ++f)
        if (filterTypesSeen_[static_cast<size_t>(f)]) log_.Add(std::to_string(f));
}

}  // namespace quill
