#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Bitmap.h"
#include "platform/MemoryStream.h"
#include "platform/ProcessorFeatures.h"
#include "platform/StringList.h"
#include "png/PieceStream.h"
#include "png/PngHeader.h"

namespace quill {

class TDecompressionStream;

// The data of one chunk, where the loaded bytes hold them (fewer than its length says
// when the data end early).
struct TChunkData {
    const uint8_t* Data;
    size_t Size;
};

// A bitmap that writes itself as PNG (SaveToFile, or SavePngToStream into memory), reads
// PNG (LoadFromStream) and keeps a diagnostic log of the last save or load. Log lines are
// Windows-1251 bytes.
class TPNG : public TBitmap {
  public:
    // Its kernels are no wider than `widest` (tests and TRunSettings::Widest narrow them).
    explicit TPNG(TVectorWidth widest = TVectorWidth::Avx512);
    ~TPNG() override;

    void SaveToFile(const std::string& fileName) override;
    // The bytes and the log that SaveToFile gives, written into stream from its position.
    // (SaveToStream, as for every bitmap, writes the bitmap's own format.)
    void SavePngToStream(TStream& stream);
    void LoadFromStream(TStream& stream) override;

    const TStringList& Log() const { return log_; }
    // Row filter types met by the reader, over all loads.
    const std::bitset<256>& FilterTypesSeen() const { return filterTypesSeen_; }
    // The filter distance of the last save or load.
    int32_t BytesPerPixel() const { return bytesPerPixel_; }
    // Decode pixel by pixel only, without the whole-row fast paths. Both give the same
    // bitmap; the switch exists so that tests can hold them against each other.
    void SetPixelWalkOnly(bool walkOnly) { pixelWalkOnly_ = walkOnly; }

  private:
    // Writer steps. `target` names what is written in messages.
    TColourType SavedColourType(const std::string& target);
    void WritePng(TStream& stream, TColourType colourType, const std::string& target);
    void WriteFilteredImage(TStream& stream, const std::string& target);

    // Reader steps (each load owns its buffers).
    bool ReadChunks();
    void ReadHeader(uint32_t length, const TChunkData& chunk);
    void ReadPalette(const TChunkData& chunk);
    void DecodeImage();
    // The next length bytes of the loaded data (no more than are left), where they lie.
    TChunkData ReadChunkData(int64_t length);

    const TProcessorFeatures& features_;  // what its kernels may use
    TStringList log_;
    std::bitset<256> filterTypesSeen_;
    TPngHeader header_;
    int32_t bytesPerPixel_ = 0;
    int32_t sampleStep_ = 0;
    bool pixelWalkOnly_ = false;

    std::unique_ptr<TDecompressionStream> inflater_;
    std::unique_ptr<TMemoryStream> sourceData_;
    std::unique_ptr<TPieceStream> imageData_;  // the IDAT data, read where the source holds them
    // The PNG data of the load under way: a memory stream's own bytes, or sourceData_'s
    // copy of any other stream; and how far the chunks have been read.
    const uint8_t* source_ = nullptr;
    int64_t sourceSize_ = 0;
    int64_t sourcePos_ = 0;

    // Whether this load met an IHDR that the decoders can follow.
    bool headerUsable_ = false;
};

}  // namespace quill
