#include "convert/ConversionRun.h"

#include "convert/ByteScan.h"
#include "convert/PageLiterals.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

namespace {

constexpr int kHeaderBytes = 17;

}  // namespace

TConversionRun::TConversionRun(TOptionsSource& options, TFileChooser& chooser, TPageStyle style,
                               TCommitGate* gate, TPictureWork* pictureWork)
    : options_(options), chooser_(chooser), style_(style), gate_(gate), pictureWork_(pictureWork) {}

TConversionRun::~TConversionRun() = default;

void TConversionRun::DeriveNames(std::string_view path, std::string& baseName, bool& skipHeader) {
    const size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find('.');
    skipHeader = false;
    if (dot == std::string_view::npos) {
        baseName = std::string(name);
        return;
    }
    skipHeader = name.size() == dot + 3 && name[dot + 1] == '$';
    baseName = std::string(name.substr(0, dot));
}

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
    PrepareMarkup();

    std::string inputName;
    if (!chooser_.ChooseInput(inputName)) return result;
    DeriveNames(inputName, BaseName, SkipHeader);
    std::string pageName;
    if (!chooser_.ChooseOutput(BaseName, pageName)) return result;
    result.PageName = pageName;
    const size_t slash = pageName.rfind('/');
    pageFolder_ = slash == std::string::npos ? std::string() : pageName.substr(0, slash + 1);
    pictureFiles_ = 0;
    inputName_ = inputName;

    try {
        // The document is opened before anything is created: a name that does not open
        // costs no file.
        InputFile.Assign(inputName);
        InputFile.Reset();
        RefuseInputAsOutput(inputName, pageName);
        OutputFile.Assign(pageName, staged_.Stage(pageName, /*last=*/true));
        OutputFile.Rewrite();
        if (SkipHeader) InputFile.Seek(kHeaderBytes);
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
                const bool isPictureLine = LineText.size() >= 2 &&
                                           static_cast<uint8_t>(LineText[0]) == 255 &&
                                           static_cast<uint8_t>(LineText[1]) >= 128;
                const int row = isPictureLine ? static_cast<uint8_t>(LineText[1]) - 128 : 0;
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
        ReleasePictures();
        if (gate_) gate_->BeforeCommit(staged_.Names());
        staged_.Commit();
    } catch (...) {
        OutputFile.Abandon();
        InputFile.Abandon();
        ReleasePictures();
        staged_.Abandon();
        throw;
    }
    result.Completed = true;
    result.PictureFiles = pictureFiles_;
    return result;
}

void TConversionRun::WriteHeader() {
    if (style_ == TPageStyle::Quillo) {
        WriteHtml(page::kQuilloHeaderFirst);
        WriteHtml(options_.Pitch42Checked() ? page::kPitch42Size : page::kNormalSize);
        WriteHtml(page::kQuilloHeaderMiddle);
    } else {
        WriteHtml(UseColors ? page::kHeaderDark : page::kHeaderLight);
        WriteHtml(options_.Pitch42Checked() ? page::kPitch42Size : page::kNormalSize);
        WriteHtml(page::kHeaderMiddle);
    }
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
