// Where the pictures stand in the page: the image lines of both page kinds, and pictures
// carried inside the page.
#include <string>

#include "convert/ConversionRun.h"
#include "convert/EmbeddedPictures.h"
#include "convert/ModernPage.h"
#include "convert/PageLiterals.h"
#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "platform/TempFile.h"
#include "png/Png.h"

namespace quill {

void TConversionRun::WriteModernHead() {
    WriteHtml(modern::kHeadStart);
    WriteHtml(modern::HtmlText(inputName_.substr(inputName_.find_last_of('/') + 1)));
    WriteHtml(modern::kHeadTitleEnd);
    if (style_ == TPageStyle::Quillo)
        WriteHtml(modern::kQuilloStyle);
    else
        WriteHtml(UseColors ? modern::kStyleDark : modern::kStyleLight);
}

void TConversionRun::WriteImageLine(int n) {
    if (settings_.NoPictureFiles && !settings_.Embed)
        throw EInOutError("Cannot write the pictures of \"" + inputName_ +
                          "\": a page on standard output can only hold them embedded");
    const std::string address = settings_.Embed ? TEmbeddedPictures::Mark(n) : PictureFileName(n);
    if (!settings_.Html5) {
        WriteHtml(page::kImageStart);
        WriteHtml(address);
        WriteHtml(page::kImageEnd);
        return;
    }
    WriteHtml(modern::kImageStart);
    WriteHtml(settings_.Embed ? address : modern::AddressOf(address));
    WriteHtml(modern::kImageAlt);
    WriteHtml(std::to_string(n));
    WriteHtml(modern::kImageWidth);
    WriteHtml(std::to_string(settings_.Scale == 0 ? 640 : kStoreWidth * settings_.Scale));
    WriteHtml(modern::kImageEnd);
}

void TConversionRun::DraftPage() {
    OutputFile.Close();  // the page stays, empty, until the draft is done
    finalPage_ = OutputFile.FileName();
    embedded_.Clear();
    draft_ = std::make_unique<TTempFile>("quill-page");
    OutputFile.Assign(draft_->Name());
    OutputFile.Rewrite();
}

void TConversionRun::WriteEmbeddedPage() {
    TRecordFile draft;
    draft.Assign(draft_->Name());
    draft.Reset();
    TRecordFile page;
    page.Assign(finalPage_, pagePath_);
    page.Rewrite();
    embedded_.WritePage(draft, page);
    page.Close();
    draft.Close();
    draft_.reset();
}

// Picture n as a data: URI; its bytes are those its file would have.
std::string TConversionRun::EmbedPicture(int n, bool bmp) const {
    const std::unique_ptr<TBitmap> picture = CutPicture(n, bmp);
    TMemoryStream bytes;
    if (bmp)
        picture->SaveToStream(bytes);
    else  // CutPicture made a TPNG
        static_cast<TPNG&>(*picture).SavePngToStream(bytes);
    return TEmbeddedPictures::DataUri(bytes.Memory(), static_cast<size_t>(bytes.Size()), bmp);
}

}  // namespace quill
