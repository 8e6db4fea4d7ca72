#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "convert/PageRender.h"

namespace quill {

// The faces of a page, as small PNG files (the modern page's compact writer): what an
// index row shows of a document, and the whole page as a person saw it on screen.

// The page's first kThumbnailRows text rows at half size (every second pixel each way:
// the console font's two-pixel strokes stay whole), kThumbnailWidth pixels wide.
std::vector<uint8_t> ThumbnailPng(std::string_view document, const TPageLook& look);
inline constexpr int kThumbnailWidth = kRenderWidth / 2;

// The whole page at full size (up to kMaxRenderHeight pixels).
std::vector<uint8_t> RenderedPagePng(std::string_view document, const TPageLook& look);

}  // namespace quill
