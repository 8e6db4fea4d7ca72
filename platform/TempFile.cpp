#include "platform/TempFile.h"

#include <cstdlib>

namespace quill {

TTempFile::TTempFile(const std::string& purpose) {
    const char* dir = std::getenv("TMPDIR");
    const std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    name_ = files_.Stage(folder + "/" + purpose);
}

}  // namespace quill
