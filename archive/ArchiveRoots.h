#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quill {

// The folder INPUTs of a call, and which of them a record's archive is. A record keeps
// its archive as an absolute path; a later call may name the same folder otherwise (from
// another current folder, through a link), so a folder that exists is recognised by its
// identity on disk too.
class TArchiveRoots {
  public:
    explicit TArchiveRoots(TPlatform& platform) : platform_(platform) {}

    // Adds a folder INPUT as given; answers its number.
    int Add(const std::string& input);
    const std::string& Input(int root) const { return roots_[root].Input; }
    // The absolute path a record keeps: "." and ".." taken away by their spelling.
    const std::string& Absolute(int root) const { return roots_[root].Absolute; }
    // The number of the INPUT that recorded (a record's archive) is, or -1.
    int Find(const std::string& recorded);

  private:
    struct TRoot {
        std::string Input;
        std::string Absolute;
        TFileStatus Status;
    };
    TPlatform& platform_;
    std::vector<TRoot> roots_;
    std::map<std::string, int> found_;  // by recorded path
};

}  // namespace quill
