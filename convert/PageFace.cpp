#include "convert/PageFace.h"

#include <memory>
#include <span>

#include "platform/Bitmap.h"
#include "png/CompactPng.h"

namespace quill {

namespace {

// Faces are looked at, not kept as the pictures are: zlib's faster levels do for them.
constexpr int kFaceLevel = 6;

std::vector<uint8_t> Encode(const TBitmap& bitmap, const uint8_t* indexes, int width, int height,
                            int64_t stride) {
    const TPalette* palette = bitmap.Palette();
    return EncodeCompactPng(TIndexImage{indexes, width, height, stride},
                            palette ? std::span<const TPaletteEntry>(palette->Entries())
                                    : std::span<const TPaletteEntry>(),
                            kFaceLevel);
}

}  // namespace

std::vector<uint8_t> ThumbnailPng(std::string_view document, const TPageLook& look) {
    std::unique_ptr<TBitmap> page = RenderPage(document, look, kThumbnailRows);
    const int width = page->Width() / 2, height = page->Height() / 2;
    std::vector<uint8_t> half(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = page->ScanLine(2 * y);
        for (int x = 0; x < width; ++x) half[static_cast<size_t>(y * width + x)] = row[2 * x];
    }
    return Encode(*page, half.data(), width, height, width);
}

std::vector<uint8_t> RenderedPagePng(std::string_view document, const TPageLook& look) {
    std::unique_ptr<TBitmap> page = RenderPage(document, look);
    return Encode(*page, page->ScanLine(0), page->Width(), page->Height(),
                  page->BytesPerScanLine());
}

}  // namespace quill
