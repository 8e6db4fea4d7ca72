#pragma once

#include <string>

#include "platform/StagedFiles.h"

namespace quill {

// A new empty file of our own in the system's temporary folder ($TMPDIR, else /tmp),
// removed with the object, and by an interrupted program's clean-up like the temporary
// files of a run. Fails with EInOutError naming the file and the reason.
class TTempFile {
  public:
    explicit TTempFile(const std::string& purpose = "quill",
                       TPlatform& platform = TPlatform::Real());
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    const std::string& Name() const { return name_; }

  private:
    TStagedFiles files_;  // never put in place: only ever abandoned
    std::string name_;
};

}  // namespace quill
