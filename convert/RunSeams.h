#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quill {

class TStagedFiles;

// Where a conversion run reads its options, at the moments the run asks for them.
// The window reads its controls; the command line answers fixed values.
class TOptionsSource {
  public:
    virtual ~TOptionsSource() = default;
    virtual bool UseColorsChecked() = 0;  // "use colors" (cbColor)
    virtual bool Pitch42Checked() = 0;    // "42 pitch" (CheckBox1)
    virtual bool UseBmpChecked() = 0;     // "use BMP pictures" (RadioButton1)
};

// Asks for the input document and the output page; either question can be cancelled.
class TFileChooser {
  public:
    virtual ~TFileChooser() = default;
    // Answers false when cancelled; otherwise sets fileName to the chosen document.
    virtual bool ChooseInput(std::string& fileName) = 0;
    // Proposes proposedName (the document's BaseName); answers false when cancelled.
    virtual bool ChooseOutput(const std::string& proposedName, std::string& fileName) = 0;
};

// Asked by a run once everything is written, just before its files are put in place
// (files as named, the page last). It may wait, and it refuses by raising an Exception,
// which fails the run with nothing put in place. A command line converting several
// documents at once uses it to put them in place in its own order and to keep one
// document from replacing the files of another.
class TCommitGate {
  public:
    virtual ~TCommitGate() = default;
    virtual void BeforeCommit(const std::vector<std::string>& files) = 0;
};

// A file a run has written: its name, and where it lies until it is put in place.
struct TWrittenFile {
    std::string Name;
    std::string Path;
};

// Told what a run has written once it is all written, before the gate: the picture files
// in order, the page last, and how many pictures the page shows (embedded ones too). It
// may stage files of its own among the run's, which are then put in place after the page,
// or not at all: an archive's record of the page, so that no page of it is ever in place
// without its record, nor a record without its page. It refuses by raising an Exception.
class TRunRecorder {
  public:
    virtual ~TRunRecorder() = default;
    virtual void BeforeCommit(TStagedFiles& files, const std::vector<TWrittenFile>& written,
                              int pictures) = 0;
};

// Encodes the picture files of a run once they are staged: task i writes picture i + 1
// to its own temporary file from pixels that no longer change. A command line converting
// many documents hands the tasks to its workers, so a document with many pictures keeps
// every processor busy; without one, a run encodes its pictures one after another.
class TPictureWork {
  public:
    virtual ~TPictureWork() = default;
    // Runs task(0) to task(count - 1), on any threads and in any order, and answers once
    // all have ended. prepare(i) runs first on the calling thread, in order, and task(i)
    // may start as soon as it has, so the others encode while the caller prepares the
    // rest. A failing prepare stops the rest and is raised once the started tasks have
    // ended; otherwise, when tasks fail, the failure of the lowest-numbered one is raised,
    // so a run fails alike however its pictures were spread.
    virtual void RunAll(size_t count, const std::function<void(size_t)>& prepare,
                        const std::function<void(size_t)>& task) = 0;
};

// The page style of the two programs: the main program's (colour spans or style tags
// by "use colors") and the second program's (always colour spans, its own "pre" rule).
enum class TPageStyle { Quilloc, Quillo };

}  // namespace quill
