#include "convert/ConversionRun.h"

#include <algorithm>

#include "convert/ByteScan.h"
#include "convert/DocumentNames.h"
#include "convert/LineRules.h"
#include "convert/ModernPage.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"
#include "platform/MemoryStream.h"

namespace quill {

namespace {

constexpr size_t kHeaderBytes = 17;

}  // namespace

TConversionRun::TConversionRun(TOptionsSource& options, TFileChooser& chooser, TPageStyle style,
                               TRunSettings settings, TCommitGate* gate, TPictureWork* pictureWork,
                               TRunRecorder* recorder)
    : options_(options),
      chooser_(chooser),
      style_(style),
      settings_(settings),
      gate_(gate),
      pictureWork_(pictureWork),
      recorder_(recorder),
      platform_(settings.Platform ? *settings.Platform : TPlatform::Real()),
      state_(platform_),
      files_(platform_) {}

TConversionRun::~TConversionRun() = default;

void TConversionRun::RefuseInputAsOutput(const std::string& fileName) const {
    // Putting the file in place would replace the document. Links and other names of the
    // same file are caught by comparing the files, not the names.
    if (SameFile(inputName_, fileName, platform_))
        throw EInOutError("Cannot create \"" + fileName + "\": it is the input document \"" +
                              names::ShownName(inputName_) + "\"",
                          fileName, "it is the input document");
}

TRunResult TConversionRun::Run() {
    TRunResult result;
    TRunState& s = state_;
    if (style_ == TPageStyle::Quilloc) s.UseColors = options_.UseColorsChecked();
    translator_ = std::make_unique<TLineTranslator>(
        s.OutputFile, style_ == TPageStyle::Quillo || s.UseColors,
        settings_.Html5 ? &modern::TUtf8Table::Get() : nullptr, scan::KernelsFor(settings_.Widest));
    writer_ = TPageWriter::Make(style_, settings_);

    if (!chooser_.ChooseInput(inputName_)) return result;
    names::TDocumentName name = names::DeriveNames(inputName_);
    s.BaseName = std::move(name.BaseName);
    s.SkipHeader = name.SkipHeader || settings_.SkipHeader;
    if (!chooser_.ChooseOutput(s.BaseName, pageName_)) return result;
    result.PageName = pageName_;
    pageFolder_ = names::FolderOf(pageName_);

    try {
        Convert();
    } catch (...) {
        s.OutputFile.Abandon();
        s.InputFile.Abandon();
        pictures_.Release();
        writer_->Abandon();
        files_.Abandon();
        throw;
    }
    result.Completed = true;
    result.PictureFiles = pictures_.Count();
    return result;
}

void TConversionRun::Convert() {
    TRunState& s = state_;
    // The document is opened before anything is created: a name that does not open costs
    // no file.
    written_.clear();
    s.InputFile.Assign(names::ShownName(inputName_), inputName_);
    s.InputFile.Reset();
    RefuseInputAsOutput(pageName_);
    pagePath_ = files_.Stage(pageName_, /*last=*/true);
    s.OutputFile.Assign(pageName_, pagePath_);
    s.OutputFile.Rewrite();
    if (settings_.Embed) writer_->BeginDraft(s.OutputFile, platform_);
    if (s.SkipHeader) SkipDocumentHeader();
    // The first read of the text would only say "end of file".
    if (s.SkipHeader && s.InputFile.Eof()) {
        const std::string reason = "it has no text after the 17-byte header";
        throw EInOutError("Cannot read \"" + s.InputFile.FileName() + "\": " + reason,
                          s.InputFile.FileName(), reason);
    }
    // Only the modern page looks ahead, so the classic run reads nothing sooner.
    writer_->WriteHeader(s.OutputFile, options_, s.UseColors, names::PageTitle(inputName_),
                         settings_.Html5 ? s.InputFile.Buffered() : std::string_view());
    pictures_.Reset();
    ReadLines();
    ExtractPictures();
    writer_->WriteFooter(s.OutputFile, translator_->OpenCloser());
    s.OutputFile.Close();
    s.InputFile.Close();
    writer_->SettleLanguage(pageName_, pagePath_, platform_);
    if (settings_.Embed) writer_->FinishDraft(pageName_, pagePath_, platform_);
    pictures_.Release();
    if (recorder_) {
        std::vector<TWrittenFile> written = written_;
        written.push_back({pageName_, pagePath_});
        recorder_->BeforeCommit(files_, written, pictures_.Count());
    }
    if (gate_) gate_->BeforeCommit(files_.Names());
    files_.Commit();
}

// The text part, up to its first byte 0 or the end of the file. Runs of text lines in
// the read buffer go at once; the rest line by line.
void TConversionRun::ReadLines() {
    TRunState& s = state_;
    for (;;) {
        const size_t taken =
            pictures_.Waiting() ? 0 : translator_->TranslateBufferedLines(s.InputFile.Buffered());
        if (taken > 0) {
            const char* const p = s.InputFile.Buffered().data();
            const size_t lineBegin = scan::FindLastLineEnd(p, taken - 1);
            s.LineText = std::string_view(p + lineBegin, taken - lineBegin);
            s.LastByte = static_cast<uint8_t>(p[taken - 1]);
            if (writer_->WatchesText()) writer_->NoteText(std::string_view(p, taken));
            s.InputFile.Consume(taken);
        } else {
            translator_->StartLine();
            ReadLine();
            translator_->ApplyLineColour(s.LineText);
            const bool isPictureLine =
                s.LineText.size() >= 2 && lines::IsPictureLine(static_cast<uint8_t>(s.LineText[0]),
                                                               static_cast<uint8_t>(s.LineText[1]));
            const int row =
                isPictureLine ? lines::PictureRow(static_cast<uint8_t>(s.LineText[1])) : 0;
            if (const int finished = pictures_.FinishPicture(isPictureLine, row))
                WriteImageLine(finished);
            if (isPictureLine) {
                pictures_.AddPictureLine(row);
            } else {
                translator_->TranslateLine(s.LineText);
                if (writer_->WatchesText()) writer_->NoteText(s.LineText);
            }
        }
        if (s.InputFile.Eof() || s.LastByte == 0) break;
    }
}

void TConversionRun::SkipDocumentHeader() {
    for (size_t left = kHeaderBytes; left > 0;) {
        const std::string_view ahead = state_.InputFile.Buffered();
        if (ahead.empty()) break;  // the first read of the text then fails with end of file
        const size_t taken = std::min(left, ahead.size());
        state_.InputFile.Consume(taken);
        left -= taken;
    }
}

// One line, its terminator included: up to a CR or a 0, or to the end of the file. The
// end-of-file test comes after every byte, so only a line that starts at the end reads
// past it, and that read is the error of an empty text part. A line that lies wholly in
// the read buffer is used where it lies; one that goes on past a refill is gathered.
void TConversionRun::ReadLine() {
    std::string_view ahead = state_.InputFile.Buffered();
    size_t end = scan::FindLineEnd(ahead.data(), ahead.size());
    if (end < ahead.size()) {
        state_.LineText = ahead.substr(0, end + 1);
        state_.InputFile.Consume(end + 1);
    } else {
        lineCopy_.clear();
        if (ahead.empty()) {
            // Fails with end of file. Should the file have grown since, the byte read
            // makes a line of its own.
            lineCopy_.push_back(static_cast<char>(state_.InputFile.ReadByte()));
        }
        while (!ahead.empty()) {
            const size_t taken = end < ahead.size() ? end + 1 : ahead.size();
            lineCopy_.insert(lineCopy_.end(), ahead.begin(), ahead.begin() + taken);
            state_.InputFile.Consume(taken);
            if (end < ahead.size()) break;
            ahead = state_.InputFile.Buffered();  // empty: the line ends with the file
            end = scan::FindLineEnd(ahead.data(), ahead.size());
        }
        // The copy gets the same readable bytes after its end as the read buffer has.
        const size_t size = lineCopy_.size();
        lineCopy_.resize(size + TRecordFile::kReadSlack);
        state_.LineText = std::string_view(lineCopy_.data(), size);
    }
    state_.LastByte = static_cast<uint8_t>(state_.LineText.back());
}

}  // namespace quill

namespace quill {

std::string TConversionRun::PictureFileName(int n) {
    return names::PictureName(n, state_.BaseName, options_.UseBmpChecked());
}

void TConversionRun::WriteImageLine(int n) {
    if (settings_.NoPictureFiles && !settings_.Embed)
        throw EInOutError("Cannot write the pictures of \"" + names::ShownName(inputName_) +
                          "\": a page on standard output can only hold them embedded");
    writer_->WriteImageLine(state_.OutputFile, n, settings_.Embed ? "" : PictureFileName(n));
}

void TConversionRun::ExtractPictures() {
    // Everything of the page so far goes to the system before the first picture file is
    // made: a write error of the page stops the run before any picture file exists.
    state_.OutputFile.Flush();
    pictures_.ReadPictureData(state_.InputFile, options_.UseBmpChecked());

    // Every file is staged in order, and each picture is encoded once its file is (maybe
    // several at once, while the later files are staged), into its own file or,
    // embedded, into its own slot. "use BMP pictures" is asked once for each picture,
    // here, in order.
    const size_t count = static_cast<size_t>(pictures_.Count());
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
        writer_->Embed(static_cast<int>(i) + 1, std::move(embedded[i]));
}

// Picture n's file beside the page, staged under a temporary name.
std::string TConversionRun::StagePicture(int n, bool bmp) {
    const std::string fileName = pageFolder_ + names::PictureName(n, state_.BaseName, bmp);
    RefuseInputAsOutput(fileName);
    if (const std::string* page = files_.Find(fileName))
        throw EInOutError("Cannot write picture \"" + fileName + "\": it is the page \"" + *page +
                              "\" of this run",
                          fileName, "it is the page");
    written_.push_back({fileName, files_.Stage(fileName)});
    return written_.back().Path;
}

// Picture n written to path.
void TConversionRun::SavePicture(int n, const std::string& path, bool bmp) const {
    try {
        TMemoryStream bytes;
        pictures_.EncodePicture(n, FormatOf(bmp), settings_.Widest, bytes);
        TFileStream file(path, fmCreate, platform_);
        file.WriteBuffer(bytes.Memory(), bytes.Size());
        file.Close();
    } catch (const Exception& error) {
        // The temporary file's failure is the picture's: say so under the picture's name.
        const std::string fileName = pageFolder_ + names::PictureName(n, state_.BaseName, bmp);
        if (!error.FileName().empty() && error.FileName() != path) throw;
        const std::string reason = error.FileName().empty() ? error.Message() : error.Reason();
        throw EWriteError("Cannot write \"" + fileName + "\": " + reason, fileName, reason);
    }
}

// Picture n as a data: URI; its bytes are those its file would have.
std::string TConversionRun::EmbedPicture(int n, bool bmp) const {
    TMemoryStream bytes;
    pictures_.EncodePicture(n, FormatOf(bmp), settings_.Widest, bytes);
    return TPageWriter::EmbeddedAddress(static_cast<const uint8_t*>(bytes.Memory()),
                                        static_cast<size_t>(bytes.Size()), bmp);
}

}  // namespace quill
