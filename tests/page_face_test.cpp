// A thumbnail is the top of the page as RenderPage draws it, every second pixel each way;
// a rendered page is all of it. Both decoded by our own reader, against the render.
#include <gtest/gtest.h>

#include <string>

#include "convert/PageFace.h"
#include "platform/MemoryStream.h"
#include "png/Png.h"

namespace quill {
namespace {

using std::string_literals::operator""s;

TEST(PageFace, ThumbnailAndRenderShowTheRendersPixels) {
    std::string picture(288, '\x81');
    picture[256] = '\x56';
    std::string longText;
    for (int i = 0; i < 40; ++i) longText += "\x02line " + std::to_string(i) + "\r";
    const std::string documents[] = {
        longText,                                  // more rows than a thumbnail shows
        "A\r\xff\x80\rB\x05\r"s + '\0' + picture,  // a picture between two lines
        "\x01u\tv\r\xff\x80\r\xff\x81\r"s + '\0' + picture + picture,  // underline, tab
    };
    // The light page with its underlines, and odd picture sizes and row heights.
    const TPageLook looks[] = {{.ColourSpans = true}, {.Pitch42 = true, .Scale = 3}};
    for (const std::string& document : documents) {
        for (const bool whole : {false, true}) {
            for (const TPageLook& look : looks) {
                const auto render = RenderPage(document, look, whole ? 0 : kThumbnailRows);
                const std::vector<uint8_t> png =
                    whole ? RenderedPagePng(document, look) : ThumbnailPng(document, look);
                TMemoryStream stream;
                stream.WriteBuffer(png.data(), static_cast<int64_t>(png.size()));
                stream.Seek(0, soBeginning);
                TPNG face;
                face.LoadFromStream(stream);
                const int step = whole ? 1 : 2;
                ASSERT_EQ(face.Width(), render->Width() / step);
                ASSERT_EQ(face.Height(), render->Height() / step);
                int wrong = 0;
                for (int y = 0; y < face.Height(); ++y)
                    for (int x = 0; x < face.Width(); ++x)
                        wrong +=
                            face.Canvas().Pixel(x, y) != render->Canvas().Pixel(step * x, step * y);
                EXPECT_EQ(wrong, 0) << document.substr(0, 8) << (whole ? " whole" : " thumbnail");
            }
        }
    }
}

}  // namespace
}  // namespace quill
