#include "convert/ConversionRun.h"

#include <sys/stat.h>

#include "convert/ByteScan.h"
#include "convert/PageLiterals.h"
#include "platform/Exception.h"

namespace quill {

namespace {

constexpr int kHeaderBytes = 17;

}  // namespace

TConversionRun::TConversionRun(TOptionsSource& options, TFileChooser& chooser, TPageStyle style)
    : options_(options), chooser_(chooser), style_(style) {}

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
    // Creating the file would empty the document. Links and other names of the same file
    // are caught by comparing the files, not the names.
    struct stat in {};
    struct stat out {};
    if (::stat(inputName.c_str(), &in) != 0 || ::stat(fileName.c_str(), &out) != 0) return;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw EInOutError("Cannot create \"" + fileName + "\": it is the input document \"" +
                          inputName + "\"");
}

TRunResult TConversionRun::Button1Click() {
    TRunResult result;
    if (style_ == TPageStyle::Quilloc) UseColors = options_.UseColorsChecked();
    colourSpans_ = style_ == TPageStyle::Quillo || UseColors;

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
        OutputFile.Assign(pageName);
        InputFile.Assign(inputName);
        RefuseInputAsOutput(inputName, pageName);
        OutputFile.Rewrite();
        InputFile.Reset();
        if (SkipHeader) InputFile.Seek(kHeaderBytes);
        WriteHeader();
        ResetPictures();
        for (;;) {
            LineText.clear();
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
            if (InputFile.Eof() || LastByte == 0) break;
        }
        ExtractPictures();
        WriteHtml(page::kFooter);
        OutputFile.Close();
        InputFile.Close();
        ReleasePictures();
    } catch (...) {
        OutputFile.Abandon();
        InputFile.Abandon();
        ReleasePictures();
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
// past it, and that read is the error of an empty text part. On the way, the positions
// of the bytes that the translation does not copy as they are go into specials_, so
// that the line is searched once.
void TConversionRun::ReadLine() {
    specials_.clear();
    for (;;) {
        const std::string_view ahead = InputFile.Buffered();
        if (ahead.empty()) {
            if (LineText.empty()) ReadByte();  // fails: end of file
            return;
        }
        const char* p = ahead.data();
        const size_t n = ahead.size();
        const size_t base = LineText.size();
        size_t taken = n;
        for (size_t i = 0;;) {
            const size_t j = i + scan::FindSpecial(p + i, n - i);
            if (j == n) break;
            specials_.push_back(base + j);
            if (p[j] == 0 || p[j] == 13) {
                taken = j + 1;
                break;
            }
            i = j + 1;
        }
        LineText.append(p, taken);
        InputFile.Consume(taken);
        LastByte = static_cast<uint8_t>(p[taken - 1]);
        if (taken < n || LastByte == 0 || LastByte == 13) return;
    }
}

}  // namespace quill
