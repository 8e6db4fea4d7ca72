#include "convert/PageWriter.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "convert/MarkupNames.h"
#include "convert/ModernPage.h"
#include "convert/PageLanguage.h"
#include "convert/PageLiterals.h"
#include "convert/PictureStore.h"
#include "platform/RecordFile.h"

namespace quill {

namespace {

// HTML 4.01 in cp866: the system's literals, byte for byte.
class TClassicPage : public TPageWriter {
  public:
    TClassicPage(TPageStyle style, const TRunSettings& settings) : TPageWriter(style, settings) {}

    void WriteHeader(TRecordFile& page, TOptionsSource& options, bool useColors, std::string_view,
                     std::string_view) override {
        if (style_ == TPageStyle::Quillo)
            WriteHtml(page, page::kQuilloHeaderFirst);
        else
            WriteHtml(page, useColors ? page::kHeaderDark : page::kHeaderLight);
        WriteSizes(page, options,
                   style_ == TPageStyle::Quillo ? page::kQuilloHeaderMiddle : page::kHeaderMiddle);
    }

    // A span left open stays open: the page is fixed to the byte.
    void WriteFooter(TRecordFile& page, std::string_view) override {
        WriteHtml(page, page::kFooter);
    }

  protected:
    void WriteImage(TRecordFile& page, int, std::string_view address, bool embedded) override {
        WriteHtml(page, page::kImageStart);
        WriteHtml(page, embedded ? std::string(address) : names::ClassicAddress(address));
        WriteHtml(page, page::kImageEnd);
    }
};

// HTML5 in UTF-8, with the classic page's look; crisp pictures.
class TModernPage : public TPageWriter {
  public:
    TModernPage(TPageStyle style, const TRunSettings& settings) : TPageWriter(style, settings) {}

    void WriteHeader(TRecordFile& page, TOptionsSource& options, bool useColors,
                     std::string_view title, std::string_view ahead) override {
        WriteHtml(page, modern::kHtmlStart);
        if (!settings_.Lang.Empty()) {
            WriteHtml(page, names::HtmlText(settings_.Lang.View()));
        } else if (language::TextStartHoldsCyrillicLetter(ahead)) {
            WriteHtml(page, language::kCyrillicText);
        } else {
            WriteHtml(page, language::kOtherText);
            watchesText_ = true;
        }
        WriteHtml(page, modern::kHeadStart);
        WriteHtml(page, names::HtmlText(settings_.NameEncoding.Shown(title)));
        WriteHtml(page, modern::kHeadTitleEnd);
        if (style_ == TPageStyle::Quillo)
            WriteHtml(page, modern::kQuilloStyle);
        else
            WriteHtml(page, useColors ? modern::kStyleDark : modern::kStyleLight);
        WriteSizes(page, options,
                   style_ == TPageStyle::Quillo ? page::kQuilloHeaderMiddle : page::kHeaderMiddle,
                   settings_.Bar);
    }

    void WriteFooter(TRecordFile& page, std::string_view openCloser) override {
        WriteHtml(page, openCloser);
        WriteHtml(page, page::kFooter);
    }

  protected:
    void WriteImage(TRecordFile& page, int n, std::string_view address, bool embedded) override {
        WriteHtml(page, modern::kImageStart);
        WriteHtml(page, embedded ? std::string(address) : names::AddressOf(address));
        WriteHtml(page, modern::kImageAlt);
        WriteHtml(page, std::to_string(n));
        WriteHtml(page, modern::kImageWidth);
        WriteHtml(page, std::to_string(settings_.Scale == 0 ? 640 : kStoreWidth * settings_.Scale));
        WriteHtml(page, modern::kImageEnd);
    }
};

}  // namespace

std::unique_ptr<TPageWriter> TPageWriter::Make(TPageStyle style, const TRunSettings& settings) {
    if (settings.Html5) return std::make_unique<TModernPage>(style, settings);
    return std::make_unique<TClassicPage>(style, settings);
}

void TPageWriter::WriteSizes(TRecordFile& page, TOptionsSource& options, std::string_view middle,
                             std::string_view bar) {
    WriteHtml(page, options.Pitch42Checked() ? page::kPitch42Size : page::kNormalSize);
    WriteHtml(page, middle);
    WriteHtml(page, options.Pitch42Checked() ? page::kPitch42Size : page::kNormalSize);
    if (bar.empty()) {
        WriteHtml(page, page::kHeaderLast);
        return;
    }
    constexpr std::string_view kTextStart = "<pre>\r\n";
    static_assert(page::kHeaderLast.ends_with(kTextStart));
    WriteHtml(page, page::kHeaderLast.substr(0, page::kHeaderLast.size() - kTextStart.size()));
    WriteHtml(page, bar);
    WriteHtml(page, kTextStart);
}

void TPageWriter::WriteImageLine(TRecordFile& page, int n, std::string_view fileName) {
    if (settings_.Embed)
        WriteImage(page, n, TEmbeddedPictures::Mark(n), true);
    else
        WriteImage(page, n, fileName, false);
}

void TPageWriter::NoteText(std::string_view text) {
    if (!language::HoldsCyrillicLetter(text)) return;
    cyrillicFound_ = true;
    watchesText_ = false;
}

void TPageWriter::SettleLanguage(const std::string& pageName, const std::string& path,
                                 TPlatform& platform) {
    if (!cyrillicFound_) return;
    cyrillicFound_ = false;
    // The head is the first thing of the page, or of its draft. A page written straight
    // into a pipe or a device has gone on: there is nothing to replace.
    const std::string& file = draft_ ? draft_->Name() : path;
    const TFileStatus info = platform.Status(file);
    if (info.Exists() && !info.IsFile()) return;
    int error = 0;
    if (std::unique_ptr<TOpenFile> page = platform.Open(file, TOpenMode::Write, error)) {
        const std::string_view lang = language::kCyrillicText;
        if (page->Seek(static_cast<int64_t>(modern::kHtmlStart.size()), TOpenFile::kFromStart,
                       error) >= 0) {
            const int64_t n = page->Write(lang.data(), lang.size(), error);
            if (n >= 0 && n != static_cast<int64_t>(lang.size())) error = EIO;
        }
        const int closed = page->Close();
        if (error == 0) error = closed;
    }
    if (error != 0) {
        const std::string reason = TPlatform::Reason(error);
        throw EInOutError("Cannot write \"" + pageName + "\": " + reason, pageName, reason);
    }
}

void TPageWriter::BeginDraft(TRecordFile& page, TPlatform& platform) {
    page.Close();  // the page stays, empty, until the draft is done
    embedded_.Clear();
    draft_ = std::make_unique<TTempFile>("quill-page", platform);
    page.Assign(draft_->Name());
    page.Rewrite();
}

void TPageWriter::FinishDraft(const std::string& pageName, const std::string& path,
                              TPlatform& platform) {
    TRecordFile draft(platform);
    draft.Assign(draft_->Name());
    draft.Reset();
    TRecordFile page(platform);
    page.Assign(pageName, path);
    page.Rewrite();
    embedded_.WritePage(draft, page);
    page.Close();
    draft.Close();
    draft_.reset();
}

}  // namespace quill
