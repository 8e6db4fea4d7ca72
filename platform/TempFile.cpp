#include "platform/TempFile.h"

namespace quill {

TTempFile::TTempFile(const std::string& purpose, TPlatform& platform) : files_(platform) {
    name_ = files_.Stage(platform.TemporaryFolder() + "/" + purpose);
}

}  // namespace quill
