#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/EmbeddedPictures.h"
#include "convert/LineRules.h"
#include "convert/ModernPage.h"
#include "convert/PictureStore.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/Bitmap.h"
#include "platform/RecordFile.h"
#include "platform/StagedFiles.h"
#include "platform/TempFile.h"

namespace quill {

namespace scan {
struct TKernels;
}

// What a caller learns from one conversion run.
struct TRunResult {
    bool Completed = false;  // false: a file question was cancelled and nothing was touched
    std::string PageName;    // the output page as chosen (empty when cancelled before)
    int PictureFiles = 0;    // picture files written beside the page
};

// One conversion of a document into a page. All state of a run lives here, so several
// runs may go on at once, each with its own object. The state keeps the names the rest
// of the system uses for it; the options and both file names are asked for at the
// moments the run needs them, through the two seams.
class TConversionRun {
  public:
    TConversionRun(TOptionsSource& options, TFileChooser& chooser,
                   TPageStyle style = TPageStyle::Quilloc, TRunSettings settings = {},
                   TCommitGate* gate = nullptr, TPictureWork* pictureWork = nullptr);
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // The whole run: asks for the files, writes the page and the picture files. Answers
    // when it is complete or cancelled; every failure is an exception (an Exception whose
    // message names the file), after which both files are closed and all released. The
    // page and pictures are written under temporary names and put in place only at the
    // end of a run that succeeded, so a failed run leaves every existing file as it was.
    TRunResult Button1Click();

    // What the picture bookkeeping holds, for tests to read.
    struct TPictureView {
        const TPictureTable& Table;
        int32_t Current;
    };
    TPictureView Pictures() const { return {PictureTable, CurrentPicture}; }

  private:
    // Output of the page: the only writer of OutputFile.
    void WriteHtml(std::string_view s) { OutputFile.Write(s); }
    // Input of the document: the only reader of InputFile.
    uint8_t ReadByte() { return InputFile.ReadByte(); }

    // Text translation.
    void OpenSpan(uint8_t code);
    void CloseSpan();
    // Colours the whole line by a code 1 to 7 just before its last byte: writes the
    // opener, and that byte then counts as 8 for the rest of the line's translation.
    void ApplyLineColour() {
        lineColourAt_ = kNoLineColour;
        if (LineText.size() < 2) return;
        const uint8_t k = static_cast<uint8_t>(LineText[LineText.size() - 2]);
        if (!lines::IsColourCode(k)) return;
        SpanOpen = true;
        OpenSpan(k);
        lineColourAt_ = LineText.size() - 2;
    }

    // Picture bookkeeping and picture files.
    void ResetPictures();
    void FinishPicture(bool isPictureLine, int row);
    void AddPictureLine(int row);
    void ExtractPictures();
    void ReleasePictures();
    // Picture n's name by "use BMP pictures" (read on every call); no folder.
    std::string PictureFileName(int n);

    // Run state: the two files, and what the run knows of the document.
    TRecordFile InputFile;
    TRecordFile OutputFile;
    std::string BaseName;
    bool SkipHeader = false;
    bool UseColors = false;
    // The current line, its terminator included: a view of the input's read buffer, or of
    // a copy when the line goes on past a refill. Valid until the next line is read.
    std::string_view LineText;
    uint8_t LastByte = 0;

    // Translation state.
    bool SpanOpen = false;
    uint8_t SpanCode = 1;

    // Picture state.
    TPictureTable PictureTable{};
    int32_t CurrentPicture = 1;
    TCellBuffer CellBuffer{};
    int32_t StoreRow = 0;
    std::unique_ptr<TBitmap> PictureStore;

    // What one special byte of a text line writes, by the span open before it: the span's
    // closer if the byte closes it, then the byte's own markup. A table of these, made once
    // per run for its markup family, lets the line loop translate without a branch per
    // byte; Text is copied whole, only Size bytes of it count.
    struct TTransition {
        char Text[30] = {};
        uint8_t Size = 0;
        uint8_t Open = 0;  // the span open after it: its code 1-7, or 0
    };
    static_assert(sizeof(TTransition) == 32);
    static constexpr size_t kNoLineColour = static_cast<size_t>(-1);

    void WriteHeader();
    void WriteModernHead();
    void PrepareMarkup();
    // The image line of picture n, in the page kind's form.
    void WriteImageLine(int n);
    // With embedded pictures: the page just created is written last, from a draft that
    // the run writes in its place.
    void DraftPage();
    void WriteEmbeddedPage();
    std::string EmbedPicture(int n, bool bmp) const;
    std::unique_ptr<TBitmap> CutPicture(int n, bool bmp) const;
    // Passes over the document's header by reading it, so that a pipe can be read too.
    void SkipDocumentHeader();
    void ReadLine();
    void TranslateLine();
    template <bool Modern>
    void TranslateText(const char* p, size_t n, size_t colourAt);
    bool TranslateBufferedLines();
    template <bool Modern>
    size_t WalkLinesBody(const char* p, size_t n);
    size_t WalkLines(const char* p, size_t n);
    size_t WalkLinesAvx2(const char* p, size_t n);
    size_t WalkModernLines(const char* p, size_t n);
    size_t WalkModernLinesAvx2(const char* p, size_t n);
    template <auto WriteLetters>
    size_t WalkModernWideBody(const char* p, size_t n);
    size_t WalkModernLinesWide(const char* p, size_t n);
    size_t WalkModernLinesWide512(const char* p, size_t n);
    template <bool Modern>
    uint8_t* BeginBlock();
    template <bool Modern>
    void EndBlock(uint8_t* start, uint8_t* out);
    void FlushStaged();
    void ColourLine(const char* p, size_t n, size_t start, uint8_t*& out, uint8_t& open,
                    uint8_t& code, size_t& colourAt) const;
    uint8_t* WriteSpecial(uint8_t* out, const char* from, const char* at, uint8_t cls,
                          uint8_t& open, uint8_t& code) const;
    void DrawGroup(int s);
    // Stages picture n's file and answers the path to write; then encodes it there. Encoding
    // reads the store only and has bitmaps of its own, so pictures may be encoded at once.
    std::string StagePicture(int n, bool bmp);
    void SavePicture(int n, const std::string& path, bool bmp) const;
    // Refuses to create fileName when it is the input document under any name.
    void RefuseInputAsOutput(const std::string& inputName, const std::string& fileName) const;

    TOptionsSource& options_;
    TFileChooser& chooser_;
    TPageStyle style_;
    TRunSettings settings_;
    TCommitGate* gate_;
    TPictureWork* pictureWork_;
    TStagedFiles files_;    // the page and the picture files until they are put in place
    std::string pagePath_;  // where the page is written until then
    const scan::TKernels* kernels_ = nullptr;   // the run's vector width, chosen at its start
    const modern::TUtf8Table* utf8_ = nullptr;  // the modern page's text, else null
    bool wideText_ = false;                     // its text 32 bytes at a time
    // The modern page's text before its last step (see ModernPage.h); flushed at the end
    // of every walk, so the page's bytes stay in order.
    static constexpr size_t kStagedFlush = 16384;
    std::vector<uint8_t> staged_;
    size_t stagedSize_ = 0;
    TEmbeddedPictures embedded_;
    std::unique_ptr<TTempFile> draft_;  // the draft of a page with embedded pictures
    std::string finalPage_;             // the page that is written from the draft
    bool colourSpans_ = false;          // spans (dark page) rather than style tags
    // By the open span's code (0: none) and the special byte's class.
    std::array<std::array<TTransition, 16>, 8> transitions_{};
    // The modern page's, as the page holds them, by the open span's code and the byte
    // (256 a code): for its walk that writes the text 32 bytes at a time.
    std::vector<TTransition> utf8Transitions_;
    std::array<TTransition, 8> lineOpeners_{};  // a line colour's opener by code; 0: none
    size_t lineColourAt_ = kNoLineColour;       // the byte that counts as 8, if any
    std::vector<char> lineCopy_;                // a line that went on past a refill
    // The read buffer's classes, a bit a byte, 64 bytes a word: its special bytes, and the
    // line ends that a coloured line follows.
    std::vector<uint64_t> specials_;
    std::vector<uint64_t> colouredAfter_;
    std::string inputName_;   // the document as chosen
    std::string pageFolder_;  // where picture files go: the page's folder, "" or ending "/"
    int pictureFiles_ = 0;
};

}  // namespace quill
