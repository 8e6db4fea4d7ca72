// Arbitrary bytes as a PNG file: the reader answers a bitmap or one of its own errors,
// never reads or writes out of bounds, and its row fast paths agree with the pixel walk.
// It aborts the process on a broken promise, so libFuzzer and the regression test
// both see it.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "png/Png.h"

namespace quill::fuzz {

namespace detail {

struct TLoaded {
    bool failed = false;
    std::string error;
    int width = 0, height = 0;
    TPixelFormat format = pfDevice;
    uint32_t pixels = 0;  // CRC of every row: images of up to 1 GiB are not copied
};

inline TLoaded Load(const uint8_t* data, size_t size, bool pixelWalkOnly) {
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TPNG png;
    png.SetPixelWalkOnly(pixelWalkOnly);
    TLoaded out;
    try {
        png.LoadFromStream(stream);
    } catch (const Exception& e) {
        out.failed = true;
        out.error = e.Message();
    }
    out.width = png.Width();
    out.height = png.Height();
    out.format = png.PixelFormat();
    const size_t row = static_cast<size_t>(png.BytesPerScanLine());
    // The rows lie one after the other from the top, so one CRC covers them all.
    if (png.Height() > 0 && row > 0)
        out.pixels = static_cast<uint32_t>(
            crc32_z(0, png.ScanLine(0), row * static_cast<size_t>(png.Height())));
    return out;
}

}  // namespace detail

inline void CheckPngReader(const uint8_t* data, size_t size) {
    const detail::TLoaded fast = detail::Load(data, size, false);
    const detail::TLoaded walk = detail::Load(data, size, true);
    if (fast.failed != walk.failed || fast.error != walk.error || fast.width != walk.width ||
        fast.height != walk.height || fast.format != walk.format || fast.pixels != walk.pixels) {
        std::fprintf(stderr, "row decoding and pixel walk disagree: %s/%s %dx%d/%dx%d\n",
                     fast.error.c_str(), walk.error.c_str(), fast.width, fast.height, walk.width,
                     walk.height);
        std::abort();
    }
}

}  // namespace quill::fuzz
