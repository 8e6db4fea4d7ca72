#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/LineTranslator.h"
#include "convert/PageWriter.h"
#include "convert/PictureStore.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/RecordFile.h"
#include "platform/StagedFiles.h"

namespace quill {

// What a caller learns from one conversion run.
struct TRunResult {
    bool Completed = false;  // false: a file question was cancelled and nothing was touched
    std::string PageName;    // the output page as chosen (empty when cancelled before)
    int PictureFiles = 0;    // picture files written beside the page
};

// What the run knows of the document, under the names the system gives them.
struct TRunState {
    explicit TRunState(TPlatform& platform) : InputFile(platform), OutputFile(platform) {}
    TRecordFile InputFile;
    TRecordFile OutputFile;
    std::string BaseName;
    bool SkipHeader = false;
    bool UseColors = false;
    // The current line, its terminator included: a view of the input's read buffer, or of
    // a copy when the line goes on past a refill. Valid until the next line is read.
    std::string_view LineText;
    uint8_t LastByte = 0;
};

// One conversion of a document into a page. The run orders the steps and owns the files;
// the rooms it holds do the rest: the line translator the text, the picture store the
// pictures, the page writer everything of the page's kind around them. All state of a
// run lives in its object, so several runs may go on at once. The options and both file
// names are asked for at the moments the run needs them, through the two seams.
class TConversionRun {
  public:
    TConversionRun(TOptionsSource& options, TFileChooser& chooser,
                   TPageStyle style = TPageStyle::Quilloc, TRunSettings settings = {},
                   TCommitGate* gate = nullptr, TPictureWork* pictureWork = nullptr,
                   TRunRecorder* recorder = nullptr);
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // The whole run: asks for the files, writes the page and the picture files. Answers
    // when it is complete or cancelled; every failure is an exception (an Exception whose
    // message names the file), after which both files are closed and all released. The
    // page and pictures are written under temporary names and put in place only at the
    // end of a run that succeeded, so a failed run leaves every existing file as it was.
    TRunResult Run();

    // The pictures of the last run.
    const TPictureStore& Pictures() const { return pictures_; }

  private:
    void Convert();
    // Passes over the document's header by reading it, so that a pipe can be read too.
    void SkipDocumentHeader();
    void ReadLine();
    void ReadLines();
    void ExtractPictures();
    // Picture n's name by "use BMP pictures" (read on every call); no folder.
    std::string PictureFileName(int n);
    void WriteImageLine(int n);
    // Stages picture n's file and answers the path to write; then encodes it there.
    std::string StagePicture(int n, bool bmp);
    void SavePicture(int n, const std::string& path, bool bmp) const;
    std::string EmbedPicture(int n, bool bmp) const;
    // The modern page's PNG pictures are compact unless the classic files are asked for.
    TPictureFormat FormatOf(bool bmp) const {
        return bmp                                             ? TPictureFormat::Bmp
               : settings_.Html5 && !settings_.ClassicPictures ? TPictureFormat::CompactPng
                                                               : TPictureFormat::Png;
    }
    // Refuses to create fileName when it is the input document under any name.
    void RefuseInputAsOutput(const std::string& fileName) const;

    TOptionsSource& options_;
    TFileChooser& chooser_;
    const TPageStyle style_;
    const TRunSettings settings_;
    TCommitGate* const gate_;
    TPictureWork* const pictureWork_;
    TRunRecorder* const recorder_;
    TPlatform& platform_;

    TRunState state_;
    std::string inputName_;   // the document as chosen
    std::string pageName_;    // the page as chosen
    std::string pagePath_;    // where the page is written until it is put in place
    std::string pageFolder_;  // where picture files go: the page's folder, "" or ending "/"
    TStagedFiles files_;      // the page and the picture files until they are put in place
    std::vector<TWrittenFile> written_;  // the picture files staged, in order
    std::vector<char> lineCopy_;         // a line that went on past a refill

    std::unique_ptr<TLineTranslator> translator_;
    TPictureStore pictures_;
    std::unique_ptr<TPageWriter> writer_;
};

}  // namespace quill
