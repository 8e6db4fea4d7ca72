#include "convert/PictureStore.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/Bitmap.h"
#include "platform/RecordFile.h"
#include "png/CompactPng.h"
#include "png/Png.h"

namespace quill {

void ApplyPalette(TBitmap& bitmap) {
    TLogPalette log;
    log.palVersion = 0x300;
    log.palPalEntry.assign(PaletteColours.begin(), PaletteColours.end());
    HPALETTE palette = CreatePalette(log);
    if (palette) bitmap.SetPalette(std::move(palette));
}

void TPictureStore::Reset() {
    for (TPictureEntry& e : table_) e = TPictureEntry{};
    current_ = 1;
}

// A finished run that repeats an earlier picture gets that picture's number and frees its
// entry again.
int TPictureStore::FinishPicture(bool isPictureLine, int row) {
    TPictureEntry& e = table_[static_cast<size_t>(current_)];
    if (e.RowCount == 0) return 0;
    if (isPictureLine && row == e.FirstRow + e.RowCount) return 0;
    int found = current_;
    for (int i = 1; i < current_; ++i) {
        const TPictureEntry& k = table_[static_cast<size_t>(i)];
        if (k.FirstRow == e.FirstRow && k.RowCount == e.RowCount) found = i;
    }
    if (found == current_)
        ++current_;
    else
        e.RowCount = 0;
    return found;
}

void TPictureStore::AddPictureLine(int row) {
    TPictureEntry& e = table_[static_cast<size_t>(current_)];
    if (e.RowCount == 0) e.FirstRow = static_cast<uint8_t>(row);
    ++e.RowCount;
}

void TPictureStore::ReadPictureData(TRecordFile& input, bool fourBits) {
    // Only the character rows some picture shows are drawn; the store ends below the last
    // of them, and holds none at all when there are no pictures.
    int rows = 0;
    for (int n = 1; n <= Count(); ++n) {
        const TPictureEntry& e = table_[static_cast<size_t>(n)];
        rows = std::max(rows, e.FirstRow + e.RowCount);
    }
    if (rows > 0) {
        // The pixel format is chosen while the store is still empty, so that no pixels of
        // its first format need converting. Each picture is cut into a bitmap of its own
        // later.
        store_ = std::make_unique<TBitmap>();
        store_->SetPixelFormat(fourBits ? pf4bit : pf8bit);
        store_->SetHeight(8 * rows);
        store_->SetWidth(kStoreWidth);
        // Rows that no picture data reaches are colour 0 on every run.
        for (int y = 0; y < 8 * rows; ++y)
            std::memset(store_->ScanLine(y), 0, static_cast<size_t>(store_->BytesPerScanLine()));
        ApplyPalette(*store_);
    }

    int storeRow = 0;
    int at = 0;  // byte of the current group
    for (;;) {
        const std::string_view ahead = input.Buffered();
        if (ahead.empty()) break;
        if (storeRow >= rows) {
            input.Consume(ahead.size());
            continue;
        }
        const size_t take = std::min(ahead.size(), static_cast<size_t>(kGroupBytes - at));
        for (size_t i = 0; i < take; ++i, ++at)
            cells_[static_cast<size_t>(at % kCellsPerRow)][static_cast<size_t>(at / kCellsPerRow)] =
                static_cast<uint8_t>(ahead[i]);
        input.Consume(take);
        if (at == kGroupBytes) {
            DrawGroup(storeRow);
            ++storeRow;
            at = 0;
        }
    }
}

// Character row s of the store from the cell buffer: a set bit shows the cell's ink, a
// clear bit its paper.
void TPictureStore::DrawGroup(int s) {
    const bool fourBits = store_->PixelFormat() == pf4bit;
    for (int c = 0; c < kCellsPerRow; ++c) {
        const auto& cell = cells_[static_cast<size_t>(c)];
        const auto [ink, paper] = CellColours(cell[8]);
        for (int r = 0; r < 8; ++r) {
            uint8_t* line = store_->ScanLine(8 * s + r);
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

// One rectangle copy into a bitmap of its own, so that several pictures may be cut and
// encoded at once.
std::unique_ptr<TBitmap> TPictureStore::CutPicture(int n, bool bmp, TVectorWidth widest) const {
    const TPictureEntry e = table_[static_cast<size_t>(n)];
    const int height = 8 * e.RowCount;
    const int top = 8 * e.FirstRow;
    std::unique_ptr<TBitmap> picture =
        bmp ? std::make_unique<TBitmap>() : std::make_unique<TPNG>(widest);
    picture->SetPixelFormat(store_->PixelFormat());
    picture->SetWidth(kStoreWidth);
    ApplyPalette(*picture);
    picture->SetHeight(height);
    picture->Canvas().CopyRect(TRect{0, 0, kStoreWidth, height}, store_->Canvas(),
                               TRect{0, top, kStoreWidth, top + height});
    return picture;
}

void TPictureStore::EncodePicture(int n, TPictureFormat format, TVectorWidth widest,
                                  TStream& bytes) const {
    const std::unique_ptr<TBitmap> picture = CutPicture(n, format == TPictureFormat::Bmp, widest);
    if (format == TPictureFormat::Bmp) {
        picture->SaveToStream(bytes);
    } else if (format == TPictureFormat::Png) {  // CutPicture made a TPNG
        static_cast<TPNG&>(*picture).SavePngToStream(bytes);
    } else {
        // A store drawn for BMP pictures has 4 bits a pixel; the indexes stay as they are.
        if (picture->PixelFormat() != pf8bit) picture->SetPixelFormat(pf8bit);
        const TPalette* palette = picture->Palette();
        const std::vector<uint8_t> compact =
            EncodeCompactPng(TIndexImage{picture->ScanLine(0), picture->Width(), picture->Height(),
                                         picture->BytesPerScanLine()},
                             palette ? std::span<const TPaletteEntry>(palette->Entries())
                                     : std::span<const TPaletteEntry>());
        bytes.WriteBuffer(compact.data(), static_cast<int64_t>(compact.size()));
    }
}

}  // namespace quill
