#pragma once

#include <string>

#include "platform/Platform.h"
#include "platform/TempFile.h"

namespace quill {

// A page for standard output. The run writes it like any page, to a temporary file of
// its own; only once the whole run has succeeded is it copied to standard output, so a
// failed run leaves nothing there. Picture files cannot go with it: the run is told to
// refuse pictures that are not embedded before anything is written.
class TStdoutPage {
  public:
    explicit TStdoutPage(TPlatform& platform = TPlatform::Real())
        : platform_(platform), file_("quill-stdout", platform) {}
    const std::string& FileName() const { return file_.Name(); }
    // Fails with EWriteError when standard output refuses the page.
    void CopyToStdout() const;

  private:
    TPlatform& platform_;
    TTempFile file_;
};

}  // namespace quill
