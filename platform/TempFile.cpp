#include "platform/TempFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Exception.h"

namespace quill {

TTempFile::TTempFile(const std::string& purpose) {
    const char* dir = std::getenv("TMPDIR");
    const std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    std::string name = folder + "/" + purpose + "-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw EFCreateError("Cannot create a temporary file in \"" + folder +
                            "\": " + std::strerror(errno));
    ::close(fd);
    name_ = name;
}

TTempFile::~TTempFile() {
    ::unlink(name_.c_str());
}

}  // namespace quill
