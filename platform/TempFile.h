#pragma once

#include <string>

namespace quill {

// A new empty file of our own in the system's temporary folder ($TMPDIR, else /tmp),
// removed with the object. Fails with EFCreateError naming the folder and the reason.
class TTempFile {
  public:
    explicit TTempFile(const std::string& purpose = "quill");
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
};

}  // namespace quill
