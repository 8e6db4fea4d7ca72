#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace quill {

// Small files read or written whole through a platform: record files and index pages.

// Up to limit bytes from the start of path into bytes; false when it cannot be opened or
// read (bytes then holds what was read).
bool ReadWholeFile(TPlatform& platform, const std::string& path, std::string& bytes,
                   size_t limit = static_cast<size_t>(-1));

// Writes bytes to path, checked to the close; a failure raises EInOutError naming
// fileName (the file that path stands in for) and the system's reason.
void WriteWholeFile(TPlatform& platform, const std::string& fileName, const std::string& path,
                    std::string_view bytes);

}  // namespace quill
