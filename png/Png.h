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
#include "png/PieceStream.h"

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

// The data of one chunk, where the loaded bytes hold them (fewer than its length says
// when the data end early).
struct TChunkData {
    const uint8_t* Data;
    size_t Size;
};
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

    // Decode pixel by pixel only, without the whole-row fast paths. Both give the same
    // bitmap; the switch exists so that tests can hold them against each other.
    bool PixelWalkOnly = false;

  private:
    // Reader steps (each load owns its buffers).
    bool ReadChunks();
    void ReadHeader(uint32_t length, const TChunkData& chunk);
    void ReadPalette(const TChunkData& chunk);
    void DecodeImage();
    void DecodePixels(int64_t n);
    // Inflates and decodes whole rows as the data come, in a small buffer; answers the
    // bytes inflated (no more than room). A row cut short by the end of the data goes to
    // DecodePixels.
    int64_t StreamPixels(uint64_t room);
    void UnfilterByte(uint8_t filter, int64_t i, int64_t offset);
    // The next length bytes of the loaded data (no more than are left), where they lie.
    TChunkData ReadChunkData(int64_t length);

    std::unique_ptr<TDecompressionStream> Inflater;
    std::unique_ptr<TMemoryStream> SourceData;
    std::unique_ptr<TFileStream> TargetFile;
    std::unique_ptr<TPieceStream> ImageData;  // the IDAT data, read where the source holds them
    // The PNG data of the load under way: a memory stream's own bytes, or SourceData's
    // copy of any other stream; and how far the chunks have been read.
    const uint8_t* source_ = nullptr;
    int64_t sourceSize_ = 0;
    int64_t sourcePos_ = 0;

    // Per load: whether this load met an IHDR that the decoder can follow, the inflated
    // image data (some rows of them at a time, or all of them for the pixel walk alone),
    // the two rows of the pixel walk and where the walk starts (pass, row).
    bool HeaderUsable = false;
    std::unique_ptr<uint8_t[]> WorkBuffer;
    TFilterRaw CurrentRow;
    TFilterRaw PreviousRow;
    int WalkPass = 1;
    int WalkRow = 0;
};

}  // namespace quill
