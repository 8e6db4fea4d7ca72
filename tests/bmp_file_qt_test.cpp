// BMP files as another reader sees them: Qt's image loader decodes every file we write.
#include <gtest/gtest.h>

#include <QImage>

#include "platform/Bitmap.h"
#include "support/BitmapSupport.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

TEST(BmpWithQt, EveryWrittenFormatDecodesToTheSameColours) {
    test::TempDir dir;
    for (TPixelFormat f : {pf4bit, pf8bit, pf24bit, pf32bit}) {
        for (int width : {1, 7, 256}) {
            TBitmap b;
            test::FillRandom(b, f, width, 9, static_cast<unsigned>(width) + f,
                             f == pf8bit ? 200 : 16);
            const std::string name = dir.File("q.bmp");
            b.SaveToFile(name);
            QImage image;
            ASSERT_TRUE(image.load(QString::fromStdString(name), "BMP")) << f << " " << width;
            ASSERT_EQ(image.width(), width);
            ASSERT_EQ(image.height(), 9);
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < width; ++x) {
                    const TColor c = b.Canvas().Pixel(x, y);
                    const QRgb q = image.pixel(x, y);
                    ASSERT_EQ(qRed(q), static_cast<int>(c & 0xFF)) << f << " " << x << "," << y;
                    ASSERT_EQ(qGreen(q), static_cast<int>((c >> 8) & 0xFF));
                    ASSERT_EQ(qBlue(q), static_cast<int>((c >> 16) & 0xFF));
                }
        }
    }
}

}  // namespace
}  // namespace quill
