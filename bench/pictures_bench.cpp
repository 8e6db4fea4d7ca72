// Converts a document holding every distinct picture the store allows (each first row
// with each row count that fits: 8256 pictures) between lines of text, once with PNG
// and once with BMP pictures, and prints pictures per second. In the same run the same
// pictures are cut from the same store and written by libpng at the same settings
// (8-bit palette, 256-entry PLTE, Paeth on every row, zlib level 9); the PNG case
// should take at most 1.1 times as long as libpng.
#include <png.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "convert/ConversionRun.h"
#include "convert/FixedAnswers.h"
#include "convert/PictureStore.h"
#include "convert/RunSeams.h"
#include "platform/Bitmap.h"
#include "support/BenchSupport.h"

using namespace quill;
using quill::bench::CpuSeconds;
using quill::bench::SaveWithLibpng;
using Clock = std::chrono::steady_clock;

namespace {

std::string Document(const std::string& data) {
    std::string doc =
        "\xae\xa1\xa7\xae\xe0 \x02\xa2\xe1\xa5\xe5 \xe0\xa8\xe1\xe3\xad\xaa\xae\xa2\r";
    for (int first = 0; first < kStoreRows; ++first)
        for (int count = 1; first + count <= kStoreRows; ++count) {
            for (int r = first; r < first + count; ++r) {
                doc.push_back('\xff');
                doc.push_back(static_cast<char>(128 + r));
                doc.push_back('\r');
            }
            doc += "\x03\xe0\xa8\xe1\xe3\xad\xae\xaa " + std::to_string(first) + "/" +
                   std::to_string(count) + " <~>\r";
        }
    doc.push_back('\0');
    return doc + data;
}

// The store as the run draws it, built here on its own for libpng's side.
void DrawStore(TBitmap& store, const std::string& data) {
    store.SetPixelFormat(pf8bit);
    store.SetSize(kStoreWidth, kStoreHeight);
    ApplyPalette(store);
    for (int g = 0; g < kStoreRows; ++g)
        for (int c = 0; c < kCellsPerRow; ++c) {
            const auto a =
                static_cast<uint8_t>(data[static_cast<size_t>(g * kGroupBytes + 256 + c)]);
            const int bright = a & 0x40 ? 8 : 0;
            for (int r = 0; r < 8; ++r) {
                const auto bits =
                    static_cast<uint8_t>(data[static_cast<size_t>(g * kGroupBytes + 32 * r + c)]);
                uint8_t* line = store.ScanLine(8 * g + r);
                for (int k = 0; k < 8; ++k)
                    line[8 * c + k] = static_cast<uint8_t>(
                        (bits & (0x80 >> k) ? (a & 7) : (a >> 3 & 7)) + bright);
            }
        }
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

uintmax_t FolderBytes(const std::string& folder) {
    uintmax_t total = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) total += e.file_size();
    return total;
}

}  // namespace

int main() {
    std::string root = (std::filesystem::temp_directory_path() / "quill-pictures-XXXXXX").string();
    if (::mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string data = bench::ScreenPictureData();
    const std::string input = root + "/obzor.txt";
    {
        const std::string doc = Document(data);
        std::ofstream(input, std::ios::binary).write(doc.data(), static_cast<long>(doc.size()));
    }

    struct Pass {
        const char* name;
        double seconds = 0;
        int pictures = 0;
        uintmax_t bytes = 0;
    };
    Pass passes[2] = {{"PNG (TPNG)"}, {"BMP"}};
    for (int p = 0; p < 2; ++p) {
        const std::string folder = root + "/" + std::to_string(p);
        std::filesystem::create_directory(folder);
        TFixedOptions options(true, false, p == 1);
        TNamedFiles files(input, folder + "/obzor.htm");
        TConversionRun run(options, files);
        const auto t0 = Clock::now();
        const TRunResult result = run.Run();
        passes[p].seconds = Seconds(Clock::now() - t0);
        passes[p].pictures = result.PictureFiles;
        passes[p].bytes = FolderBytes(folder);
        std::filesystem::remove_all(folder);
    }

    // libpng: the same cuts of the same store, one file each.
    const std::string folder = root + "/libpng";
    std::filesystem::create_directory(folder);
    TBitmap store;
    DrawStore(store, data);
    TBitmap picture;
    picture.SetPixelFormat(pf8bit);
    picture.SetWidth(kStoreWidth);
    ApplyPalette(picture);
    int n = 0;
    const auto t0 = Clock::now();
    for (int first = 0; first < kStoreRows; ++first)
        for (int count = 1; first + count <= kStoreRows; ++count) {
            picture.SetHeight(8 * count);
            picture.Canvas().CopyRect(TRect{0, 0, kStoreWidth, 8 * count}, store.Canvas(),
                                      TRect{0, 8 * first, kStoreWidth, 8 * (first + count)});
            SaveWithLibpng(picture, folder + "/" + std::to_string(++n) + "obzor.png");
        }
    const double libpngSeconds = Seconds(Clock::now() - t0);
    const uintmax_t libpngBytes = FolderBytes(folder);
    std::filesystem::remove_all(root);

    for (const Pass& p : passes)
        std::printf("%-11s %5d pictures  %7.2f s  %7.0f pictures/s  %6.1f MiB\n", p.name,
                    p.pictures, p.seconds, p.pictures / p.seconds,
                    static_cast<double>(p.bytes) / (1 << 20));
    std::printf("%-11s %5d pictures  %7.2f s  %7.0f pictures/s  %6.1f MiB\n", "libpng", n,
                libpngSeconds, n / libpngSeconds, static_cast<double>(libpngBytes) / (1 << 20));
    std::printf("ratio PNG run/libpng: %.2f (target <= 1.1)\n", passes[0].seconds / libpngSeconds);
    return 0;
}
