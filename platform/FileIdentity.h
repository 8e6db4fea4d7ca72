#pragma once

#include <string>
#include <unordered_map>

#include "platform/Platform.h"

namespace quill {

// One spelling for every name of a file: the absolute path with links and "." or ".."
// resolved as far as the path exists, as the system resolves them, and a link to a file
// not yet there followed to that file. Two names with the same key are one file.
std::string FileKey(const std::string& path, TPlatform& platform = TPlatform::Real());

// FileKey for many names in few folders, each folder resolved once: a name that is not a
// link has its folder's key followed by the name. For thousands of pages and pictures,
// one lstat each instead of one for every part of every path.
class TFileKeys {
  public:
    explicit TFileKeys(TPlatform& platform = TPlatform::Real()) : platform_(platform) {}
    const std::string& operator()(const std::string& path);

  private:
    TPlatform& platform_;
    std::unordered_map<std::string, std::string> keys_;
};

// Whether two names are one file: the same device and inode when both exist (hard links
// included), otherwise the same key (a file not yet written can still be named twice).
bool SameFile(const std::string& a, const std::string& b, TPlatform& platform = TPlatform::Real());

}  // namespace quill
