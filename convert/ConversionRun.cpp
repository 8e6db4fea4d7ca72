#include "convert/ConversionRun.h"

#include <algorithm>

#include "convert/ByteScan.h"
#include "convert/DocumentNames.h"
#include "convert/LineRules.h"
#include "convert/PageLiterals.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

namespace {

constexpr size_t kHeaderBytes = 17;

}  // namespace

TConversionRun::TConversionRun(TOptionsSource& options, TFileChooser& chooser, TPageStyle style,
                               TRunSettings settings, TCommitGate* gate, TPictureWork* pictureWork)
    : options_(options),
      chooser_(chooser),
      style_(style),
      settings_(settings),
      gate_(gate),
      pictureWork_(pictureWork) {}

TConversionRun::~TConversionRun() = default;

void TConversionRun::RefuseInputAsOutput(const std::string& inputName,
                                         const std::string& fileName) const {
    // Putting the file in place would replace the document. Links and other names of the
    // same file are caught by comparing the files, not the names.
    if (SameFile(inputName, fileName))
        throw EInOutError(
            "Cannot create \"" + fileName + "\": it is the input document \"" + inputName + "\"",
            fileName, "it is the input document");
}

TRunResult TConversionRun::Button1Click() {
    TRunResult result;
    if (style_ == TPageStyle::Quilloc) UseColors = options_.UseColorsChecked();
    colourSpans_ = style_ == TPageStyle::Quillo || UseColors;
    utf8_ = settings_.Html5 ? &modern::TUtf8Table::Get() : nullptr;
    kernels_ = &scan::KernelsFor(settings_.Widest);
    wideText_ = kernels_->Avx2Walk && modern::TUtf8Table::HasWideWrite();
    PrepareMarkup();

    std::string inputName;
    if (!chooser_.ChooseInput(inputName)) return result;
    names::TDocumentName name = names::DeriveNames(inputName);
    BaseName = std::move(name.BaseName);
    SkipHeader = name.SkipHeader || settings_.SkipHeader;
    std::string pageName;
    if (!chooser_.ChooseOutput(BaseName, pageName)) return result;
    result.PageName = pageName;
    pageFolder_ = names::FolderOf(pageName);
    pictureFiles_ = 0;
    inputName_ = inputName;

    try {
        // The document is opened before anything is created: a name that does not open
        // costs no file.
        InputFile.Assign(inputName);
        InputFile.Reset();
        RefuseInputAsOutput(inputName, pageName);
        pagePath_ = files_.Stage(pageName, /*last=*/true);
        OutputFile.Assign(pageName, pagePath_);
        OutputFile.Rewrite();
        if (settings_.Embed) DraftPage();
        if (SkipHeader) SkipDocumentHeader();
        WriteHeader();
        ResetPictures();
        for (;;) {
            // Runs of text lines in the read buffer go at once; the rest line by line.
            const bool pictureWaits =
                PictureTable[static_cast<size_t>(CurrentPicture)].RowCount != 0;
            if (pictureWaits || !TranslateBufferedLines()) {
                SpanOpen = false;
                ReadLine();
                ApplyLineColour();
                const bool isPictureLine =
                    LineText.size() >= 2 && lines::IsPictureLine(static_cast<uint8_t>(LineText[0]),
                                                                 static_cast<uint8_t>(LineText[1]));
                const int row =
                    isPictureLine ? lines::PictureRow(static_cast<uint8_t>(LineText[1])) : 0;
                FinishPicture(isPictureLine, row);
                if (isPictureLine)
                    AddPictureLine(row);
                else
                    TranslateLine();
            }
            if (InputFile.Eof() || LastByte == 0) break;
        }
        ExtractPictures();
        WriteHtml(page::kFooter);
        OutputFile.Close();
        InputFile.Close();
        if (settings_.Embed) WriteEmbeddedPage();
        ReleasePictures();
        if (gate_) gate_->BeforeCommit(files_.Names());
        files_.Commit();
    } catch (...) {
        OutputFile.Abandon();
        InputFile.Abandon();
        ReleasePictures();
        draft_.reset();
        files_.Abandon();
        throw;
    }
    result.Completed = true;
    result.PictureFiles = pictureFiles_;
    return result;
}

void TConversionRun::SkipDocumentHeader() {
    for (size_t left = kHeaderBytes; left > 0;) {
        const std::string_view ahead = InputFile.Buffered();
        if (ahead.empty()) break;  // the first read of the text then fails with end of file
        const size_t taken = std::min(left, ahead.size());
        InputFile.Consume(taken);
        left -= taken;
    }
}

void TConversionRun::WriteHeader() {
    if (settings_.Html5)
        WriteModernHead();
    else if (style_ == TPageStyle::Quillo)
        WriteHtml(page::kQuilloHeaderFirst);
    else
        WriteHtml(UseColors ? page::kHeaderDark : page::kHeaderLight);
    WriteHtml(options_.Pitch42Checked() ? page::kPitch42Size : page::kNormalSize);
    WriteHtml(style_ == TPageStyle::Quillo ? page::kQuilloHeaderMiddle : page::kHeaderMiddle);
    WriteHtml(options_.Pitch42Checked() ? page::kPitch42Size : page::kNormalSize);
    WriteHtml(page::kHeaderLast);
}

// One line, its terminator included: up to a CR or a 0, or to the end of the file. The
// end-of-file test comes after every byte, so only a line that starts at the end reads
// past it, and that read is the error of an empty text part. A line that lies wholly in
// the read buffer is used where it lies; one that goes on past a refill is gathered.
void TConversionRun::ReadLine() {
    std::string_view ahead = InputFile.Buffered();
    size_t end = scan::FindLineEnd(ahead.data(), ahead.size());
    if (end < ahead.size()) {
        LineText = ahead.substr(0, end + 1);
        InputFile.Consume(end + 1);
    } else {
        lineCopy_.clear();
        if (ahead.empty()) {
            // Fails with end of file. Should the file have grown since, the byte read
            // makes a line of its own.
            lineCopy_.push_back(static_cast<char>(ReadByte()));
        }
        while (!ahead.empty()) {
            const size_t taken = end < ahead.size() ? end + 1 : ahead.size();
            lineCopy_.insert(lineCopy_.end(), ahead.begin(), ahead.begin() + taken);
            InputFile.Consume(taken);
            if (end < ahead.size()) break;
            ahead = InputFile.Buffered();  // empty: the line ends with the file
            end = scan::FindLineEnd(ahead.data(), ahead.size());
        }
        // The copy gets the same readable bytes after its end as the read buffer has.
        const size_t size = lineCopy_.size();
        lineCopy_.resize(size + TRecordFile::kReadSlack);
        LineText = std::string_view(lineCopy_.data(), size);
    }
    LastByte = static_cast<uint8_t>(LineText.back());
}

}  // namespace quill
