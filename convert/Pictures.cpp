#include "convert/Pictures.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "convert/ConversionRun.h"
#include "convert/PageLiterals.h"
#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "png/Png.h"

namespace quill {

void ApplyPalette(TBitmap& bitmap) {
    TLogPalette log;
    log.palVersion = 0x300;
    log.palPalEntry.assign(PaletteColours.begin(), PaletteColours.end());
    HPALETTE palette = CreatePalette(log);
    if (palette) bitmap.SetPalette(std::move(palette));
}

void TConversionRun::ResetPictures() {
    for (TPictureEntry& e : PictureTable) e = TPictureEntry{};
    CurrentPicture = 1;
}

std::string TConversionRun::PictureFileName(int n, bool bmp) const {
    return std::to_string(n) + BaseName + (bmp ? ".bmp" : ".png");
}

std::string TConversionRun::PictureFileName(int n) {
    return PictureFileName(n, options_.UseBmpChecked());
}

// Finishes the run being collected unless this line continues it. A finished run that
// repeats an earlier picture gets that picture's number and frees its entry again.
void TConversionRun::FinishPicture(bool isPictureLine, int row) {
    TPictureEntry& e = PictureTable[static_cast<size_t>(CurrentPicture)];
    if (e.RowCount == 0) return;
    if (isPictureLine && row == e.FirstRow + e.RowCount) return;
    int found = CurrentPicture;
    for (int i = 1; i < CurrentPicture; ++i) {
        const TPictureEntry& k = PictureTable[static_cast<size_t>(i)];
        if (k.FirstRow == e.FirstRow && k.RowCount == e.RowCount) found = i;
    }
    if (found == CurrentPicture)
        ++CurrentPicture;
    else
        e.RowCount = 0;
    WriteImageLine(found);
}

void TConversionRun::AddPictureLine(int row) {
    TPictureEntry& e = PictureTable[static_cast<size_t>(CurrentPicture)];
    if (e.RowCount == 0) e.FirstRow = static_cast<uint8_t>(row);
    ++e.RowCount;
}

void TConversionRun::ExtractPictures() {
    // Everything of the page so far goes to the system before the first picture file is
    // made: a write error of the page stops the run before any picture file exists.
    OutputFile.Flush();

    // The pixel format is chosen while the store is still empty, so that no pixels of its
    // first format need converting. Each picture is cut into a bitmap of its own later.
    PictureStore = std::make_unique<TBitmap>();
    PictureStore->SetPixelFormat(options_.UseBmpChecked() ? pf4bit : pf8bit);
    PictureStore->SetHeight(kStoreHeight);
    PictureStore->SetWidth(kStoreWidth);
    // Rows that no picture data reaches are colour 0 on every run.
    for (int y = 0; y < kStoreHeight; ++y)
        std::memset(PictureStore->ScanLine(y), 0,
                    static_cast<size_t>(PictureStore->BytesPerScanLine()));
    ApplyPalette(*PictureStore);

    // The picture data, group by group; a last group that is not complete is not drawn,
    // and data beyond the store's last row is read and ignored.
    StoreRow = 0;
    int at = 0;  // byte of the current group
    for (;;) {
        const std::string_view ahead = InputFile.Buffered();
        if (ahead.empty()) break;
        if (StoreRow >= kStoreRows) {
            InputFile.Consume(ahead.size());
            continue;
        }
        const size_t take = std::min(ahead.size(), static_cast<size_t>(kGroupBytes - at));
        for (size_t i = 0; i < take; ++i, ++at)
            CellBuffer[static_cast<size_t>(at % kCellsPerRow)]
                      [static_cast<size_t>(at / kCellsPerRow)] = static_cast<uint8_t>(ahead[i]);
        InputFile.Consume(take);
        if (at == kGroupBytes) {
            DrawGroup(StoreRow);
            ++StoreRow;
            at = 0;
        }
    }

    // Every file is staged in order, and each picture is encoded once its file is (maybe
    // several at once, while the later files are staged), into its own file or,
    // embedded, into its own slot. "use BMP pictures" is asked once for each picture,
    // here, in order.
    const size_t count = static_cast<size_t>(CurrentPicture - 1);
    std::vector<std::string> paths(count);
    std::vector<char> bmp(count);  // not bits: a task reads its own while the next is set
    const auto stage = [&](size_t i) {
        bmp[i] = options_.UseBmpChecked();
        if (!settings_.Embed) paths[i] = StagePicture(static_cast<int>(i) + 1, bmp[i]);
    };
    std::vector<std::string> embedded(settings_.Embed ? count : 0);
    const auto encode = [&](size_t i) {
        const int n = static_cast<int>(i) + 1;
        if (settings_.Embed)
            embedded[i] = EmbedPicture(n, bmp[i]);
        else
            SavePicture(n, paths[i], bmp[i]);
    };
    if (pictureWork_) {
        pictureWork_->RunAll(count, stage, encode);
    } else {
        for (size_t i = 0; i < count; ++i) stage(i);
        for (size_t i = 0; i < count; ++i) encode(i);
    }
    for (size_t i = 0; i < embedded.size(); ++i)
        embedded_.Keep(static_cast<int>(i) + 1, std::move(embedded[i]));
    pictureFiles_ = static_cast<int>(count);
}

// Character row s of the store from the cell buffer: a set bit shows the cell's ink, a
// clear bit its paper; bit 6 of the attribute brightens both, bit 7 means nothing.
void TConversionRun::DrawGroup(int s) {
    const bool fourBits = PictureStore->PixelFormat() == pf4bit;
    for (int c = 0; c < kCellsPerRow; ++c) {
        const auto& cell = CellBuffer[static_cast<size_t>(c)];
        const uint8_t a = cell[8];
        const uint8_t bright = (a & 0x40) ? 8 : 0;
        const uint8_t ink = static_cast<uint8_t>((a & 7) + bright);
        const uint8_t paper = static_cast<uint8_t>(((a >> 3) & 7) + bright);
        for (int r = 0; r < 8; ++r) {
            uint8_t* line = PictureStore->ScanLine(8 * s + r);
            const uint8_t bits = cell[static_cast<size_t>(r)];
            for (int k = 0; k < 8; ++k) {
                const uint8_t colour = (bits & (0x80 >> k)) ? ink : paper;
                if (!fourBits) {
                    line[8 * c + k] = colour;
                } else {
                    uint8_t& pair = line[4 * c + k / 2];
                    pair = (k % 2 == 0) ? static_cast<uint8_t>((pair & 0x0F) | (colour << 4))
                                        : static_cast<uint8_t>((pair & 0xF0) | colour);
                }
            }
        }
    }
}

// Picture n's file beside the page, staged under a temporary name.
std::string TConversionRun::StagePicture(int n, bool bmp) {
    const std::string fileName = pageFolder_ + PictureFileName(n, bmp);
    RefuseInputAsOutput(inputName_, fileName);
    if (const std::string* page = files_.Find(fileName))
        throw EInOutError("Cannot write picture \"" + fileName + "\": it is the page \"" + *page +
                              "\" of this run",
                          fileName, "it is the page");
    return files_.Stage(fileName);
}

// Picture n, cut from the store by one rectangle copy into a bitmap of its own, so that
// several pictures may be cut and encoded at once.
std::unique_ptr<TBitmap> TConversionRun::CutPicture(int n, bool bmp) const {
    const TPictureEntry e = PictureTable[static_cast<size_t>(n)];
    const int height = 8 * e.RowCount;
    const int top = 8 * e.FirstRow;
    std::unique_ptr<TBitmap> picture =
        bmp ? std::make_unique<TBitmap>() : std::make_unique<TPNG>(settings_.Widest);
    picture->SetPixelFormat(PictureStore->PixelFormat());
    picture->SetWidth(kStoreWidth);
    ApplyPalette(*picture);
    picture->SetHeight(height);
    picture->Canvas().CopyRect(TRect{0, 0, kStoreWidth, height}, PictureStore->Canvas(),
                               TRect{0, top, kStoreWidth, top + height});
    return picture;
}

// Picture n written to path.
void TConversionRun::SavePicture(int n, const std::string& path, bool bmp) const {
    const std::unique_ptr<TBitmap> picture = CutPicture(n, bmp);
    try {
        picture->SaveToFile(path);
    } catch (const Exception& error) {
        // The temporary file's failure is the picture's: say so under the picture's name.
        const std::string fileName = pageFolder_ + PictureFileName(n, bmp);
        if (!error.FileName().empty() && error.FileName() != path) throw;
        const std::string reason = error.FileName().empty() ? error.Message() : error.Reason();
        throw EWriteError("Cannot write \"" + fileName + "\": " + reason, fileName, reason);
    }
}

void TConversionRun::ReleasePictures() {
    PictureStore.reset();
}

}  // namespace quill
