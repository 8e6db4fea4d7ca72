#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

#include "platform/ProcessorFeatures.h"
#include "png/PngHeader.h"

namespace quill {

class TBitmap;
class TStream;

using TFilterRaw = std::vector<uint8_t>;  // one image row while it is un-filtered

// What both decoders write to: the bitmap, sized and formatted at the header; the header
// with the filter distance and sample step taken from it; the filter types met; the
// features the row kernels may use.
struct TDecodeTarget {
    TBitmap& Bitmap;
    const TPngHeader& Header;
    int BytesPerPixel;
    int SampleStep;
    std::bitset<256>& FilterTypesSeen;
    const TProcessorFeatures& Features;
};

// Where the pixel walk begins: the pass (from 1) and the image row of the first byte of
// its data, and the un-filtered row above (empty: zeros).
struct TWalkStart {
    int Pass = 1;
    int Row = 0;
    TFilterRaw PreviousRow;
};

// The pixel walk: pixel by pixel over the passes from `start`, taking pixels from n bytes
// of data (un-filtered in place), which kPadding zero bytes follow.
void WalkPixels(const TDecodeTarget& target, uint8_t* data, int64_t n, TWalkStart start);

// The whole inflated data in one buffer, then the walk over it; answers the bytes
// inflated (no more than room).
int64_t InflateAndWalk(const TDecodeTarget& target, TStream& inflater, uint64_t room,
                       uint64_t compressed);

}  // namespace quill
