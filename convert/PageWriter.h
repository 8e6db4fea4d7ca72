#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "convert/EmbeddedPictures.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/RecordFile.h"
#include "platform/TempFile.h"

namespace quill {

// The only writer of the page's markup around its text.
inline void WriteHtml(TRecordFile& page, std::string_view s) {
    page.Write(s);
}

// Everything of a page but its text lines: the header, the image lines, the footer, and
// pictures carried inside the page. One writer for each page kind: the classic page
// (HTML 4.01 in cp866, fixed to the byte) and the modern one (HTML5 in UTF-8).
class TPageWriter {
  public:
    static std::unique_ptr<TPageWriter> Make(TPageStyle style, const TRunSettings& settings);
    virtual ~TPageWriter() = default;

    // The page's header: its first piece by the style and "use colors", then the size
    // ("42 pitch", asked each time it is written). title: the document's name; ahead: the
    // start of the text part as read ahead, for the modern page's language.
    virtual void WriteHeader(TRecordFile& page, TOptionsSource& options, bool useColors,
                             std::string_view title, std::string_view ahead) = 0;
    // The image line of picture n, whose file is fileName (beside the page).
    void WriteImageLine(TRecordFile& page, int n, std::string_view fileName);
    // The footer, after openCloser: what closes a span the text left open (see
    // TLineTranslator::OpenCloser), which only the modern page writes.
    virtual void WriteFooter(TRecordFile& page, std::string_view openCloser) = 0;

    // Pictures inside the page: they are known only after the text, so the page just
    // created (and closed) is kept empty and page is pointed at a draft instead, with a
    // mark where each picture's address goes. Embed keeps picture n's address, made by
    // EmbeddedAddress from its file's bytes (on any thread); FinishDraft, with page closed,
    // writes the real page (pageName at path) from the draft.
    void BeginDraft(TRecordFile& page, TPlatform& platform);
    static std::string EmbeddedAddress(const uint8_t* data, size_t size, bool bmp) {
        return TEmbeddedPictures::DataUri(data, size, bmp);
    }
    void Embed(int n, std::string address) { embedded_.Keep(n, std::move(address)); }
    void FinishDraft(const std::string& pageName, const std::string& path, TPlatform& platform);
    void Abandon() { draft_.reset(); }

    // The modern page's language by its text: the head is written before the text is
    // read, with what the text read ahead tells. While that may still change, the run
    // shows the writer the bytes of every text line (WatchesText, NoteText); once the page
    // is closed, SettleLanguage puts the language found into the head (of the page
    // written at path, or of the draft), in the same two bytes.
    bool WatchesText() const { return watchesText_; }
    void NoteText(std::string_view text);
    void SettleLanguage(const std::string& pageName, const std::string& path, TPlatform& platform);

  protected:
    TPageWriter(TPageStyle style, const TRunSettings& settings)
        : style_(style), settings_(settings) {}
    // The image line with the picture's address as the page kind writes it.
    virtual void WriteImage(TRecordFile& page, int n, std::string_view address, bool embedded) = 0;
    // bar: markup between the body's start and the text's block.
    void WriteSizes(TRecordFile& page, TOptionsSource& options, std::string_view middle,
                    std::string_view bar = {});

    const TPageStyle style_;
    const TRunSettings settings_;
    bool watchesText_ = false;  // the head says "en" and the text may still say "ru"

  private:
    bool cyrillicFound_ = false;
    TEmbeddedPictures embedded_;
    std::unique_ptr<TTempFile> draft_;
};

}  // namespace quill
