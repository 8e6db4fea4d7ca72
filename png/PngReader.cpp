// The PNG reader: TPNG::LoadFromStream and the steps it takes, chunk by chunk, up to the
// pixels in the bitmap. Log lines are Windows-1251 bytes.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zlib.h>

#include "platform/Palette.h"
#include "png/Paeth.h"
#include "png/Png.h"
#include "png/PngChunks.h"

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
const char kTooLarge[] =  // больше 268435456 пикселов
    "\xE1\xEE\xEB\xFC\xF8\xE5 268435456 \xEF\xE8\xEA\xF1\xE5\xEB\xEE\xE2";
const char kBadType[] = "\xF2\xE8\xEF \xF6\xE2\xE5\xF2\xE0 ";  // тип цвета N
const char kBadTypeDepth[] =
    ", \xE1\xE8\xF2 \xED\xE0 \xEF\xE8\xEA\xF1\xE5\xEB ";  // , бит на пиксел M
const char kBadMethod[] =  // метод сжатия, фильтрации или чередования
    "\xEC\xE5\xF2\xEE\xE4 \xF1\xE6\xE0\xF2\xE8\xFF, \xF4\xE8\xEB\xFC\xF2\xF0\xE0\xF6\xE8\xE8 "
    "\xE8\xEB\xE8 \xF7\xE5\xF0\xE5\xE4\xEE\xE2\xE0\xED\xE8\xFF";

// The largest image the reader decodes. The bitmap is sized at the header, before any
// image data is seen, so a few bytes of header must not be able to ask for gigabytes:
// 2^28 pixels are at most 1 GiB of 32-bit bitmap.
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

// zlib cannot inflate a byte to more than about 1032 bytes; the inflated buffer is sized
// by this bound as well as by the image, so that a short file claiming a large image does
// not get a large buffer.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 65536;
// Zero bytes after the inflated data: the pixel walk may look at a pixel's bytes past the
// end of the data when the data end inside it.
constexpr uint64_t kPadding = 16;
// Inflated data are decoded in pieces of this size (or two of the longest rows).
constexpr uint64_t kStreamChunk = 256 * 1024;

// Adam7: the pass of each pixel by (y mod 8, x mod 8).
constexpr uint8_t kPassOfPixel[8][8] = {{1, 6, 4, 6, 2, 6, 4, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
                                        {5, 6, 5, 6, 5, 6, 5, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
                                        {3, 6, 4, 6, 3, 6, 4, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
                                        {5, 6, 5, 6, 5, 6, 5, 6}, {7, 7, 7, 7, 7, 7, 7, 7}};
// Adam7: bit p set when row y mod 8 holds pixels of pass p + 1.
constexpr uint8_t kPassesOfRow[8] = {0x2B, 0x40, 0x30, 0x40, 0x2C, 0x40, 0x30, 0x40};

// Where a pass's pixels lie: first column and row, and the steps between them.
struct TPassGeometry {
    int X0, Y0, DX, DY;
};
constexpr TPassGeometry kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr TPassGeometry kWhole = {0, 0, 1, 1};

bool SameType(const uint8_t* type, const char code[4]) {
    return std::memcmp(type, code, 4) == 0;
}

// The bit depths the PNG standard allows for each colour type.
bool DepthAllowed(int colorType, int depth) {
    switch (colorType) {
        case 0:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

int Channels(int colorType) {
    switch (colorType) {
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 1;
    }
}

// Pixels or rows of a pass in an extent of `size` (0 when the pass has none there).
int64_t PassCount(uint32_t size, int start, int step) {
    return size > static_cast<uint32_t>(start) ? (int64_t{size} - start + step - 1) / step : 0;
}

// Bytes of one filtered row of `pixels` pixels, without its filter byte.
int64_t RowBytes(int64_t pixels, int bitsPerPixel) {
    return (pixels * bitsPerPixel + 7) / 8;
}

// ---- whole-row un-filtering, byte for byte what UnfilterByte does along a row ----

#if defined(__SSE2__)
// Average and Paeth with the row above, a pixel a step in 16-bit lanes (its B bytes in the
// low lanes): the step's chain is a few vector operations where byte by byte it was one
// chain per channel. Answers the offset from which the rest of the row is left to the
// byte loops (the 8-byte loads stay inside the row).
template <int B>
int64_t UnfilterPixels(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t whole) {
    const __m128i zero = _mm_setzero_si128();
    auto load = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    auto store = [](uint8_t* p, __m128i v) {
        const __m128i packed = _mm_packus_epi16(v, v);
        if constexpr (B <= 4) {
            const int bytes = _mm_cvtsi128_si32(packed);
            std::memcpy(p, &bytes, B);
        } else {
            uint8_t bytes[8];
            _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), packed);
            std::memcpy(p, bytes, B);
        }
    };
    __m128i a = zero;
    int64_t i = 0;
    if (filter == 3) {
        // In byte lanes: (a + b) div 2 is the rounded-up average less the low bit of
        // a xor b, three steps from one pixel to the next.
        const __m128i one = _mm_set1_epi8(1);
        auto loadBytes = [](const uint8_t* p) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        };
        for (; i + 8 <= whole; i += B) {
            const __m128i b = loadBytes(prev + i);
            const __m128i up = _mm_add_epi8(loadBytes(row + i), _mm_avg_epu8(a, b));
            a = _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), one));
            if constexpr (B <= 4) {
                const int bytes = _mm_cvtsi128_si32(a);
                std::memcpy(row + i, &bytes, B);
            } else {
                uint8_t bytes[8];
                _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), a);
                std::memcpy(row + i, bytes, B);
            }
        }
    } else {
        __m128i c = zero;
        for (; i + 8 <= whole; i += B) {
            const __m128i b = load(prev + i);
            // Byte adds in lanes whose high bytes are 0: the sum modulo 256, no mask.
            a = _mm_add_epi8(load(row + i), PaethPredictor8(a, b, c));
            c = b;
            store(row + i, a);
        }
    }
    return i;
}
#endif

// The bytes of the pixel to the left (and above-left) stay in registers from pixel to
// pixel: each channel is its own dependency chain, and no byte waits for the store of
// the one before it.
template <int B>
void UnfilterRowFixed(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t len) {
    const int64_t whole = len / B * B;  // rows hold whole pixels but for packed pixels (B = 1)
    int a[B] = {};                      // left
    int c[B] = {};                      // above-left
    int64_t start = 0;                  // where the byte loops begin
#if defined(__SSE2__)
    if constexpr (B > 1) {
        if ((filter == 3 || filter == 4) && prev != nullptr) {
            start = UnfilterPixels<B>(filter, row, prev, whole);
            for (int k = 0; k < B && start > 0; ++k) {
                a[k] = row[start - B + k];
                c[k] = prev[start - B + k];
            }
        }
    }
#endif
    switch (filter) {
        case 1:
            for (int64_t i = 0; i < whole; i += B)
                for (int k = 0; k < B; ++k)
                    a[k] = row[i + k] = static_cast<uint8_t>(row[i + k] + a[k]);
            break;
        case 2:
            if (prev == nullptr) break;
            for (int64_t i = 0; i < len; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
            break;
        case 3:
            if (prev == nullptr) {
                for (int64_t i = 0; i < whole; i += B)
                    for (int k = 0; k < B; ++k)
                        a[k] = row[i + k] = static_cast<uint8_t>(row[i + k] + (a[k] >> 1));
                break;
            }
            for (int64_t i = start; i < whole; i += B)
                for (int k = 0; k < B; ++k)
                    a[k] = row[i + k] =
                        static_cast<uint8_t>(row[i + k] + ((a[k] + prev[i + k]) >> 1));
            break;
        case 4:
            if (prev == nullptr) {  // above and above-left are 0: the predictor is the left byte
                for (int64_t i = 0; i < whole; i += B)
                    for (int k = 0; k < B; ++k)
                        a[k] = row[i + k] = static_cast<uint8_t>(row[i + k] + a[k]);
                break;
            }
            for (int64_t i = start; i < whole; i += B)
                for (int k = 0; k < B; ++k) {
                    const int b = prev[i + k];
                    a[k] = row[i + k] =
                        static_cast<uint8_t>(row[i + k] + PaethPredictor(a[k], b, c[k]));
                    c[k] = b;
                }
            break;
        default:  // 0 and the values no filter has: the bytes stand
            break;
    }
}

void UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, int64_t len, int bpp) {
    switch (bpp) {
        case 1:
            return UnfilterRowFixed<1>(filter, row, prev, len);
        case 2:
            return UnfilterRowFixed<2>(filter, row, prev, len);
        case 3:
            return UnfilterRowFixed<3>(filter, row, prev, len);
        case 4:
            return UnfilterRowFixed<4>(filter, row, prev, len);
        case 6:
            return UnfilterRowFixed<6>(filter, row, prev, len);
        default:
            return UnfilterRowFixed<8>(filter, row, prev, len);
    }
}

// ---- whole-row pixel stores, pixel for pixel what the walk takes ----

// Stores `count` pixels of an un-filtered row into a bitmap row, the j-th at x0 + j * dx.
struct TRowStore {
    int ColorType;
    int Depth;
    int SampleStep;
    int BytesPerPixel;
    uint8_t GreyScale[256];  // a packed grey sample scaled to 0..255

    template <int DX>
    void StoreFixed(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        const int step = DX > 0 ? DX : dx;
        const int s = SampleStep;
        const int b = BytesPerPixel;
        if (ColorType == 3 || (ColorType == 0 && b == 1)) {
            const int d = Depth;
            const bool grey = ColorType == 0;
            if (d == 8) {
                for (int64_t j = 0; j < count; ++j) {
                    const uint8_t v = src[j];
                    if (grey) {
                        uint8_t* p = line + (x0 + j * step) * 3;
                        p[0] = p[1] = p[2] = v;
                    } else {
                        line[x0 + j * step] = v;
                    }
                }
                return;
            }
            const int mask = (1 << d) - 1;
            for (int64_t j = 0; j < count; ++j) {
                const int shift = static_cast<int>((s - 1 - j % s) * d);
                const int sample = (src[j / s] >> shift) & mask;
                if (grey) {
                    uint8_t* p = line + (x0 + j * step) * 3;
                    p[0] = p[1] = p[2] = GreyScale[sample];
                } else {
                    line[x0 + j * step] = static_cast<uint8_t>(sample);
                }
            }
            return;
        }
        switch (ColorType) {
            case 0:  // 16-bit grey: the high byte
                for (int64_t j = 0; j < count; ++j) {
                    uint8_t* p = line + (x0 + j * step) * 3;
                    p[0] = p[1] = p[2] = src[j * 2];
                }
                return;
            case 4:
                for (int64_t j = 0; j < count; ++j) {
                    const uint8_t* q = src + j * b;
                    const uint32_t v = PackPixel(q[0], q[0], q[0], q[s]);
                    std::memcpy(line + (x0 + j * step) * 4, &v, 4);
                }
                return;
            case 6:
                if (s == 1) {
                    for (int64_t j = 0; j < count; ++j) {
                        const uint8_t* q = src + j * 4;
                        uint8_t* p = line + (x0 + j * step) * 4;
                        p[0] = q[2];
                        p[1] = q[1];
                        p[2] = q[0];
                        p[3] = q[3];
                    }
                    return;
                }
                for (int64_t j = 0; j < count; ++j) {
                    const uint8_t* q = src + j * b;
                    const uint32_t v = PackPixel(q[0], q[s], q[2 * s], q[b - s]);
                    std::memcpy(line + (x0 + j * step) * 4, &v, 4);
                }
                return;
            default:  // 2: red, green, blue to blue, green, red
                if (s == 1 && step == 1) {
                    // A pixel a word: its three bytes and the next pixel's first, reversed
                    // and shifted down; the fourth byte written is the next pixel's place.
                    uint8_t* p = line + x0 * 3;
                    for (int64_t j = 0; j + 1 < count; ++j, src += 3, p += 3) {
                        uint32_t v;
                        std::memcpy(&v, src, 4);
                        v = __builtin_bswap32(v) >> 8;
                        std::memcpy(p, &v, 4);
                    }
                    if (count > 0) {
                        p[0] = src[2];
                        p[1] = src[1];
                        p[2] = src[0];
                    }
                    return;
                }
                for (int64_t j = 0; j < count; ++j) {
                    const uint8_t* q = src + j * b;
                    uint8_t* p = line + (x0 + j * step) * 3;
                    p[0] = q[2 * s];
                    p[1] = q[s];
                    p[2] = q[0];
                }
                return;
        }
    }

    void Store(const uint8_t* src, uint8_t* line, int x0, int dx, int64_t count) const {
        if (dx == 1)
            StoreFixed<1>(src, line, x0, 1, count);
        else
            StoreFixed<0>(src, line, x0, dx, count);
    }
};

// Where each pass's rows lie and how long they are.
struct TLayout {
    int Bits = 0;  // bits per pixel
    int Passes = 1;
    TPassGeometry Geometry[7] = {};
    int64_t PassWidth[7] = {};
    int64_t RowBytes[7] = {};  // without the filter byte
    uint64_t Filtered = 0;     // the whole filtered image, filter bytes included
    int64_t WidestRow = 0;     // the longest row, filter byte included
};

// The row buffers of the pixel walk: as long as the longest row, but no longer than the
// data the walk has (n bytes) and one pixel's bytes of padding. The walk never reaches
// further into a row than the data it has read, and rows only as long as a header claims
// could be gigabytes for a file of a few bytes.
size_t WalkRowLength(int64_t longestRow, int64_t n) {
    return static_cast<size_t>(std::min(longestRow, n)) + kPadding;
}

TLayout MakeLayout(const TPngHeader& h) {
    TLayout l;
    l.Bits = h.BitDepth * Channels(h.ColorType);
    l.Passes = h.InterlaceMethod != 0 ? 7 : 1;
    for (int p = 0; p < l.Passes; ++p) {
        l.Geometry[p] = h.InterlaceMethod != 0 ? kAdam7[p] : kWhole;
        const TPassGeometry& g = l.Geometry[p];
        l.PassWidth[p] = PassCount(h.Width, g.X0, g.DX);
        l.RowBytes[p] = RowBytes(l.PassWidth[p], l.Bits);
        // A pass without columns has no rows, however many image rows it touches.
        if (l.PassWidth[p] > 0) {
            l.Filtered +=
                static_cast<uint64_t>(PassCount(h.Height, g.Y0, g.DY)) * (1 + l.RowBytes[p]);
            l.WidestRow = std::max(l.WidestRow, 1 + l.RowBytes[p]);
        }
    }
    return l;
}

}  // namespace

// ---- loading ----

void TPNG::LoadFromStream(TStream& stream) {
    // Whatever happens, the load's buffers go with it.
    struct TLoadBuffers {
        TPNG& Png;
        ~TLoadBuffers() {
            Png.Inflater.reset();
            Png.ImageData.reset();
            Png.SourceData.reset();
            Png.source_ = nullptr;
            Png.WorkBuffer.reset();
            TFilterRaw().swap(Png.CurrentRow);
            TFilterRaw().swap(Png.PreviousRow);
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
        SourceData = std::make_unique<TMemoryStream>();
        SourceData->SetSize(size);
        const int64_t got = size > 0 ? stream.Read(SourceData->Memory(), size) : 0;
        source_ = SourceData->Memory();
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
    ImageData = std::make_unique<TPieceStream>();
    Log.Clear();
    HeaderUsable = false;

    if (ReadChunkData(8).Size != 8 || std::memcmp(source_, kPngSignature, 8) != 0) {
        Log.Add(kNotPng);
        return false;
    }

    while (sourcePos_ < sourceSize_) {
        uint8_t head[8] = {};
        const TChunkData headRead = ReadChunkData(8);
        std::memcpy(head, headRead.Data, headRead.Size);
        const uint32_t length = BigEndian(head);
        const uint8_t* type = head + 4;
        Log.Add(std::string(reinterpret_cast<const char*>(type), 4) + " (" +
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
            ImageData->Append(chunk.Data, static_cast<int64_t>(chunk.Size));
        } else if (SameType(type, kChunkIEND)) {
            DecodeImage();
            last = true;
        } else if (SameType(type, kChunktEXt)) {
            Log.Add(std::string(reinterpret_cast<const char*>(chunk.Data), chunk.Size));
        }

        uint8_t stored[4] = {};
        const TChunkData crcRead = ReadChunkData(4);
        std::memcpy(stored, crcRead.Data, crcRead.Size);
        if (BigEndian(stored) != ChunkCrc(chunk.Data, static_cast<uint32_t>(chunk.Size),
                                          reinterpret_cast<const char*>(type)))
            Log.Add("CRC error");
        Log.Add("");
        if (last) break;
    }
    return true;
}

void TPNG::ReadHeader(uint32_t length, const TChunkData& chunk) {
    // The chunk's own length is read, so that the chunks after it are found even when it
    // is not 13; a short header reads as zeros past its end.
    uint8_t raw[13] = {};
    if (chunk.Size > 0) std::memcpy(raw, chunk.Data, std::min<size_t>(sizeof raw, chunk.Size));
    Header.Width = BigEndian(raw);
    Header.Height = BigEndian(raw + 4);
    Header.BitDepth = raw[8];
    Header.ColorType = raw[9];
    Header.CompressionMethod = raw[10];
    Header.FilterMethod = raw[11];
    Header.InterlaceMethod = raw[12];

    Log.Add(kHeight + std::to_string(Header.Height));
    Log.Add(kWidth + std::to_string(Header.Width));
    Log.Add(kBitDepth + std::to_string(Header.BitDepth));
    Log.Add(kColorType + std::to_string(Header.ColorType));
    Log.Add(kCompression + std::to_string(Header.CompressionMethod));
    Log.Add(kFilterMethod + std::to_string(Header.FilterMethod));
    Log.Add(std::string("Adam7 interlace ") + (Header.InterlaceMethod == 0 ? "No" : "Yes"));

    // A header that the decoder cannot follow leaves the bitmap as it is and no pixels
    // are decoded for it.
    HeaderUsable = false;
    const uint64_t pixels = uint64_t{Header.Width} * Header.Height;
    std::string problem;
    if (length != sizeof raw)
        problem = kBadLength + std::to_string(length);
    else if (pixels == 0)
        problem = kZeroSize;
    else if (pixels > kMaxPixels)
        problem = kTooLarge;
    else if (!DepthAllowed(Header.ColorType, Header.BitDepth))
        problem = kBadType + std::to_string(Header.ColorType) + kBadTypeDepth +
                  std::to_string(Header.BitDepth);
    else if (Header.CompressionMethod != 0 || Header.FilterMethod != 0 ||
             Header.InterlaceMethod > 1)
        problem = kBadMethod;
    if (!problem.empty()) {
        Log.Add(kBadHeader + problem);
        return;
    }

    const int depth = Header.BitDepth;
    TPixelFormat format = pf24bit;
    SampleStep = depth / 8;
    switch (Header.ColorType) {
        case 0:
            if (depth == 16) {
                BytesPerPixel = 2;
            } else {
                BytesPerPixel = 1;
                SampleStep = 8 / depth;
            }
            break;
        case 2:
            BytesPerPixel = 3 * SampleStep;
            break;
        case 3:
            format = pf8bit;
            BytesPerPixel = 1;
            SampleStep = 8 / depth;
            break;
        case 4:
            format = pf32bit;
            BytesPerPixel = 2 * SampleStep;
            break;
        default:  // 6
            format = pf32bit;
            BytesPerPixel = 4 * SampleStep;
            break;
    }
    // Format first, then the size in one step: no intermediate shape of the old height
    // and the new width is ever allocated. Pixels of another format are dropped rather
    // than converted: a large image read before (a second header, a second load) would
    // otherwise be converted whole, in a second copy, only to be cut.
    if (format != PixelFormat()) SetSize(0, 0);
    SetPixelFormat(format);
    SetSize(static_cast<int>(Header.Width), static_cast<int>(Header.Height));
    HeaderUsable = true;
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
    if (HeaderUsable) {
        ImageData->SetPosition(0);
        Inflater = std::make_unique<TDecompressionStream>(*ImageData);

        // Room for the whole filtered image, and at least the customary
        // (width + 3) x height x BytesPerPixel, which bounds the count logged.
        const uint64_t customary =
            (uint64_t{Header.Width} + 3) * Header.Height * static_cast<uint64_t>(BytesPerPixel);
        const uint64_t room = std::max(MakeLayout(Header).Filtered, customary);

        if (!PixelWalkOnly) {
            n = StreamPixels(room);
        } else {
            // The whole inflated data in one buffer, then the walk over it. The buffer
            // grows with what the inflater gives, from what the compressed data can give
            // at most, so it is never much larger than the data.
            const uint64_t compressed = static_cast<uint64_t>(ImageData->Size());
            uint64_t capacity = std::min(room, compressed * kMaxInflateRatio + kInflateSlack);
            WorkBuffer = std::make_unique_for_overwrite<uint8_t[]>(capacity + kPadding);
            uint64_t have = 0;
            for (;;) {
                have += static_cast<uint64_t>(
                    Inflater->Read(WorkBuffer.get() + have, static_cast<int64_t>(capacity - have)));
                if (have < capacity || capacity == room) break;
                const uint64_t larger = std::min(room, capacity * 2);
                auto grown = std::make_unique_for_overwrite<uint8_t[]>(larger + kPadding);
                std::memcpy(grown.get(), WorkBuffer.get(), have);
                WorkBuffer = std::move(grown);
                capacity = larger;
            }
            std::memset(WorkBuffer.get() + have, 0, kPadding);
            n = static_cast<int64_t>(have);
            WalkPass = 1;
            WalkRow = 0;
            PreviousRow.clear();
            DecodePixels(n);
        }
        Inflater.reset();
    }

    Log.Add("decompressed " + std::to_string(n));
    Log.Add(kFilterTypes);
    for (int f = 0; f < 256; ++f)
        if (FilterTypesSeen[static_cast<size_t>(f)]) Log.Add(std::to_string(f));
    WorkBuffer.reset();
}

int64_t TPNG::StreamPixels(uint64_t room) {
    const TLayout layout = MakeLayout(Header);
    TRowStore store{Header.ColorType, Header.BitDepth, SampleStep, BytesPerPixel, {}};
    if (Header.ColorType == 0 && Header.BitDepth < 8) {
        const int maxSample = (1 << Header.BitDepth) - 1;
        for (int v = 0; v <= maxSample; ++v)
            store.GreyScale[v] = static_cast<uint8_t>(v * 255 / maxSample);
    }
    const int height = Height();

    // A buffer of some rows, refilled as rows are decoded; never larger than the room or
    // than what the compressed data can give.
    const uint64_t compressed = static_cast<uint64_t>(ImageData->Size());
    const uint64_t chunk =
        std::min({std::max<uint64_t>(kStreamChunk, 2 * static_cast<uint64_t>(layout.WidestRow)),
                  room, compressed * kMaxInflateRatio + kInflateSlack});
    WorkBuffer = std::make_unique_for_overwrite<uint8_t[]>(chunk + kPadding);
    uint8_t* data = WorkBuffer.get();
    // The row above, across refills. Sized when a row is carried, so that it holds only
    // rows the data really had: a header claiming wide rows does not get one by itself.
    TFilterRaw carried;

    uint64_t total = 0;  // inflated so far
    int64_t have = 0;    // bytes in the buffer
    int64_t pos = 0;     // start of the next row in the buffer
    int pass = 0;        // 0-based here
    int y = layout.Geometry[0].Y0;
    const uint8_t* prev = nullptr;
    bool imageDone = false;
    bool ended = false;

    // Moves to the next pass that has rows, when the current one is finished.
    auto settle = [&] {
        while (pass < layout.Passes && (layout.PassWidth[pass] == 0 || y >= height)) {
            if (++pass < layout.Passes) y = layout.Geometry[pass].Y0;
            prev = nullptr;
        }
        imageDone = pass >= layout.Passes;
    };
    settle();

    while (!imageDone && !ended) {
        const auto want = static_cast<int64_t>(
            std::min<uint64_t>(chunk - static_cast<uint64_t>(have), room - total));
        const int64_t got = want > 0 ? Inflater->Read(data + have, want) : 0;
        total += static_cast<uint64_t>(got);
        have += got;
        ended = got < want || total == room || want == 0;

        while (!imageDone) {
            const TPassGeometry& g = layout.Geometry[pass];
            const int64_t rowBytes = layout.RowBytes[pass];
            if (pos + 1 + rowBytes > have) break;
            const uint8_t filter = data[pos];
            FilterTypesSeen.set(filter);
            uint8_t* row = data + pos + 1;
            UnfilterRow(filter, row, prev, rowBytes, BytesPerPixel);
            store.Store(row, ScanLine(y), g.X0, g.DX, layout.PassWidth[pass]);
            prev = row;
            pos += 1 + rowBytes;
            y += g.DY;
            settle();
        }
        if (imageDone || ended) break;

        // Keep the unfinished row and the row above it; refill behind them.
        if (prev != nullptr && prev != carried.data()) {
            if (carried.size() < static_cast<size_t>(layout.RowBytes[pass]))
                carried.resize(static_cast<size_t>(layout.RowBytes[pass]));
            std::memcpy(carried.data(), prev, static_cast<size_t>(layout.RowBytes[pass]));
            prev = carried.data();
        }
        std::memmove(data, data + pos, static_cast<size_t>(have - pos));
        have -= pos;
        pos = 0;
    }

    if (imageDone) {
        // Data past the image are inflated only to be counted, up to the room.
        while (!ended) {
            const auto want = static_cast<int64_t>(std::min<uint64_t>(chunk, room - total));
            const int64_t got = want > 0 ? Inflater->Read(data, want) : 0;
            total += static_cast<uint64_t>(got);
            ended = got < want || total == room || want == 0;
        }
        return static_cast<int64_t>(total);
    }

    // The data ended inside a row: the walk takes it from the row's start.
    // The walk reaches no further into a row than the data left (see DecodePixels).
    PreviousRow.assign(WalkRowLength(layout.WidestRow, have - pos), 0);
    if (prev != nullptr)
        std::memcpy(PreviousRow.data(), prev,
                    std::min(PreviousRow.size(), static_cast<size_t>(layout.RowBytes[pass])));
    std::memmove(data, data + pos, static_cast<size_t>(have - pos));
    have -= pos;
    std::memset(data + have, 0, kPadding);
    WalkPass = pass + 1;
    WalkRow = y;
    DecodePixels(have);
    return static_cast<int64_t>(total);
}

void TPNG::UnfilterByte(uint8_t filter, int64_t i, int64_t offset) {
    uint8_t* data = WorkBuffer.get();
    const int64_t b = BytesPerPixel;
    const size_t at = static_cast<size_t>(offset);
    const int left = offset >= b ? CurrentRow[at - b] : 0;
    const int up = PreviousRow[at];
    const int upLeft = offset >= b ? PreviousRow[at - b] : 0;
    int value = data[i];
    switch (filter) {
        case 1:
            value += left;
            break;
        case 2:
            value += up;
            break;
        case 3:
            value += (left + up) / 2;
            break;
        case 4:
            value += PaethPredictor(left, up, upLeft);
            break;
        default:
            break;
    }
    data[i] = static_cast<uint8_t>(value);
    CurrentRow[at] = static_cast<uint8_t>(value);
}

// The pixel walk: pixel by pixel over the passes, from pass WalkPass and row WalkRow at
// the first byte of WorkBuffer, with PreviousRow as the row above.
void TPNG::DecodePixels(int64_t n) {
    const int width = Width();
    const int height = Height();
    const int depth = Header.BitDepth;
    const int colorType = Header.ColorType;
    const int b = BytesPerPixel;
    const int s = SampleStep;
    const bool interlaced = Header.InterlaceMethod != 0;
    const int lastPass = interlaced ? 7 : 1;
    const TLayout layout = MakeLayout(Header);
    uint8_t* data = WorkBuffer.get();

    const size_t rowLength =
        b == 1 ? static_cast<size_t>(width / s) + 1 : static_cast<size_t>(width) * b + 1;
    CurrentRow.assign(WalkRowLength(std::max(static_cast<int64_t>(rowLength), layout.WidestRow), n),
                      0);
    PreviousRow.resize(CurrentRow.size(), 0);

    int pass = WalkPass;
    int y = WalkRow;
    // A row holds data in a pass when its place in the pattern has the pass and the pass
    // has columns inside the image.
    auto rowHasData = [&](int row) {
        if (!interlaced) return true;
        return ((kPassesOfRow[row & 7] >> (pass - 1)) & 1) != 0 && layout.PassWidth[pass - 1] > 0;
    };

    int64_t i = 0;
    int x = 0;
    int64_t k = 0;
    int64_t offset = 0;
    uint8_t f = 0;
    while (i < n) {
        if (x == 0 && rowHasData(y)) {
            f = data[i];
            FilterTypesSeen.set(f);
            ++i;
        }
        if (interlaced && kPassOfPixel[y & 7][x & 7] != pass) {
            // Straight to the pass's next column in the row, or to the row's last column
            // when there is none (always so in a row without data): stepping through
            // every pixel of every pass made a tiny file claiming a large interlaced
            // image cost seconds.
            const TPassGeometry& g = kAdam7[pass - 1];
            int next = width;
            if (rowHasData(y)) next = x < g.X0 ? g.X0 : x + (g.DX - (x - g.X0) % g.DX) % g.DX;
            x = std::min(next, width - 1);
        }
        if (!interlaced || kPassOfPixel[y & 7][x & 7] == pass) {
            uint8_t* line = ScanLine(y);
            if (colorType == 3 || (colorType == 0 && b == 1)) {
                if (k % s == 0) UnfilterByte(f, i, offset);
                const int shift = static_cast<int>((s - 1 - k % s) * depth);
                const int sample = (data[i] >> shift) & ((1 << depth) - 1);
                if (colorType == 3) {
                    line[x] = static_cast<uint8_t>(sample);
                } else {
                    const auto v = static_cast<uint8_t>(sample * 255 / ((1 << depth) - 1));
                    line[x * 3] = line[x * 3 + 1] = line[x * 3 + 2] = v;
                }
                if ((k + 1) % s == 0) {
                    ++i;
                    ++offset;
                }
            } else if (colorType == 0) {
                UnfilterByte(f, i, offset);
                line[x * 3] = line[x * 3 + 1] = line[x * 3 + 2] = data[i];
                i += b;
                offset += b;
            } else if (colorType == 4) {
                UnfilterByte(f, i, offset);
                UnfilterByte(f, i + s, offset + s);
                const uint32_t v = PackPixel(data[i], data[i], data[i], data[i + s]);
                std::memcpy(line + x * 4, &v, 4);
                i += b;
                offset += b;
            } else if (colorType == 6) {
                UnfilterByte(f, i, offset);
                UnfilterByte(f, i + s, offset + s);
                UnfilterByte(f, i + 2 * s, offset + 2 * s);
                UnfilterByte(f, i + b - s, offset + b - s);
                const uint32_t v =
                    PackPixel(data[i], data[i + s], data[i + 2 * s], data[i + b - s]);
                std::memcpy(line + x * 4, &v, 4);
                i += b;
                offset += b;
            } else {
                UnfilterByte(f, i, offset);
                UnfilterByte(f, i + s, offset + s);
                UnfilterByte(f, i + 2 * s, offset + 2 * s);
                line[x * 3] = data[i + 2 * s];
                line[x * 3 + 1] = data[i + s];
                line[x * 3 + 2] = data[i];
                i += b;
                offset += b;
            }
            ++k;
        }
        if (++x == width) {
            if (b == 1 && k % s != 0) ++i;
            if (rowHasData(y)) PreviousRow = CurrentRow;
            if (++y == height) {
                y = 0;
                std::fill(PreviousRow.begin(), PreviousRow.end(), 0);
                // The walk ends with the image: surplus data never start it again.
                if (++pass > lastPass) break;
            }
            x = 0;
            k = 0;
            offset = 0;
        }
    }
}

}  // namespace quill
