#include "convert/Pictures.h"

#include <string>

#include "convert/ConversionRun.h"
#include "convert/PageLiterals.h"

namespace quill {

void TConversionRun::ResetPictures() {
    for (TPictureEntry& e : PictureTable) e = TPictureEntry{};
    CurrentPicture = 1;
}

std::string TConversionRun::PictureFileName(int n) {
    return std::to_string(n) + BaseName + (options_.UseBmpChecked() ? ".bmp" : ".png");
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
    WriteHtml(page::kImageStart);
    WriteHtml(PictureFileName(found));
    WriteHtml(page::kImageEnd);
}

void TConversionRun::AddPictureLine(int row) {
    TPictureEntry& e = PictureTable[static_cast<size_t>(CurrentPicture)];
    if (e.RowCount == 0) e.FirstRow = static_cast<uint8_t>(row);
    ++e.RowCount;
}

// The picture data is read to the end of the document; drawing and saving come later.
void TConversionRun::ExtractPictures() {
    for (;;) {
        const std::string_view ahead = InputFile.Buffered();
        if (ahead.empty()) break;
        InputFile.Consume(ahead.size());
    }
}

void TConversionRun::ReleasePictures() {}

}  // namespace quill
