#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/FileStream.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "png/DecompressionStream.h"

namespace quill {

// The 13 bytes of an IHDR chunk; the reader keeps width and height in host order.
struct TPngHeader {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;
};

using TArray = std::vector<uint8_t>;      // one chunk's data, kept for its CRC check
using TFilterRaw = std::vector<uint8_t>;  // one image row while it is un-filtered
struct TPLTEEntry {
    uint8_t Red, Green, Blue;
};
using TPLTEChunkData = std::vector<TPLTEEntry>;

// A bitmap that writes itself as PNG (SaveToFile), reads PNG (LoadFromStream) and
// keeps a diagnostic log of the last save or load. Log lines are Windows-1251 bytes.
class TPNG : public TBitmap {
  public:
    TPNG();
    ~TPNG() override;

    void SaveToFile(const std::string& fileName) override;
    void LoadFromStream(TStream& stream) override;

    TStringList Log;
    std::bitset<256> FilterTypesSeen;  // row filter types met by the reader, over all loads
    TPngHeader Header;
    int32_t BytesPerPixel = 0;
    int32_t SampleStep = 0;

  private:
    // Reader steps (each load owns its buffers).
    bool ReadChunks();
    void ReadHeader(uint32_t length, TArray& chunkData);
    void ReadPalette(uint32_t length, TArray& chunkData);
    void ReadImageData(uint32_t length, TArray& chunkData);
    void ReadText(uint32_t length, TArray& chunkData);
    void DecodeImage(uint32_t length, TArray& chunkData);
    void DecodePixels(int64_t n);

    std::unique_ptr<TDecompressionStream> Inflater;
    std::unique_ptr<TMemoryStream> SourceData;
    std::unique_ptr<TFileStream> TargetFile;
    std::unique_ptr<TMemoryStream> ImageData;
    std::vector<uint8_t> WorkBuffer;
};

}  // namespace quill
