#pragma once

#include <string>

namespace quill {

// One spelling for every name of a file: the absolute path with links and "." or ".."
// resolved as far as the path exists. Two names with the same key are one file.
std::string FileKey(const std::string& path);

// Whether two names are one file: the same device and inode when both exist (hard links
// included), otherwise the same key (a file not yet written can still be named twice).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace quill
