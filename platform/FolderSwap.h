#pragma once

#include <string>

namespace quill {

// Puts the folder staged in place of the folder path, whether or not path exists; the old
// folder, if there was one, is then at staged, to be removed. One step where the system
// has one (Linux: an exchange of the two names), else two renames. Answers the error
// number, 0 on success.
int SwapFolderIntoPlace(const std::string& staged, const std::string& path);

}  // namespace quill
