#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Exception.h"
#include "platform/Palette.h"
#include "platform/Stream.h"

namespace quill {

// Picture data that cannot be read (a file that is not a picture of the expected kind).
class EInvalidGraphic : public Exception {
  public:
    using Exception::Exception;
};
// An operation the bitmap cannot do as asked (a bad row index, an unsupported format).
class EInvalidGraphicOperation : public Exception {
  public:
    using Exception::Exception;
};

enum TPixelFormat {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

// A device-independent bitmap: rows counted from the top, each row BytesPerScanLine()
// bytes long. Pixel layouts: 4-bit two pixels a byte, left pixel in the high nibble;
// 8-bit the palette index; 24-bit blue, green, red; 32-bit blue, green, red, alpha.
// A new bitmap is 0 x 0, 24-bit, with no palette; new pixels are zero.
class TBitmap {
  public:
    TBitmap();
    virtual ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Resizing keeps the pixels that stay inside; the rest is zero.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);
    bool Empty() const { return width_ == 0 || height_ == 0; }

    TPixelFormat PixelFormat() const { return pixelFormat_; }
    // Changing the format converts the pixels (indexes kept between 4 and 8 bits).
    // pfDevice is stored as 32 bits per pixel; pfCustom cannot be chosen.
    void SetPixelFormat(TPixelFormat format);
    // Bits one pixel takes in a scan line.
    static int BitsPerPixel(TPixelFormat format);
    // Bytes one scan line of that width takes: padded to whole 32-bit words, as BMP files
    // store rows, so that rows go to and from BMP files without repacking.
    static int64_t StrideFor(int64_t width, int bitsPerPixel) {
        return (width * bitsPerPixel + 31) / 32 * 4;
    }

    // The palette set on the bitmap, or null. The bitmap owns it.
    const TPalette* Palette() const { return palette_.get(); }
    void SetPalette(HPALETTE palette);

    uint8_t* ScanLine(int y);
    const uint8_t* ScanLine(int y) const;
    int BytesPerScanLine() const { return stride_; }

    TCanvas& Canvas() { return canvas_; }

    // Copies size, pixel format, palette and pixels.
    virtual void Assign(const TBitmap& source);

    // Writes an uncompressed BMP file of 4, 8, 24 or 32 bits per pixel. Other formats
    // and empty bitmaps are refused before the file is created.
    virtual void SaveToFile(const std::string& fileName);
    virtual void SaveToStream(TStream& stream);
    // Opens the file and calls LoadFromStream; a failure's message names the file.
    virtual void LoadFromFile(const std::string& fileName);
    // Reads the BMP files that SaveToStream writes. On failure the bitmap is unchanged.
    virtual void LoadFromStream(TStream& stream);

  private:
    void Reshape(int width, int height, TPixelFormat format);
    void CheckRow(int y) const;

    int width_ = 0;
    int height_ = 0;
    TPixelFormat pixelFormat_ = pf24bit;
    int stride_ = 0;
    std::vector<uint8_t> pixels_;
    HPALETTE palette_;
    TCanvas canvas_;
};

}  // namespace quill
