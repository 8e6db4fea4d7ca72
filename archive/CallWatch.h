#pragma once

#include <cstddef>
#include <string>

namespace quill {

// Someone who follows a call while it runs and may stop it: the window's progress dialog.
// Called from the call's workers, so every method must be safe from any thread. A call
// with a watch tells it everything and writes nothing on stderr.
class TCallWatch {
  public:
    virtual ~TCallWatch() = default;
    // Asked before each document and each picture, and before a document puts its files
    // in place. Once it answers true no document or picture starts, and the documents in
    // progress remove their temporary files instead of putting them in place; documents
    // already in place stay.
    virtual bool Cancelled() = 0;
    // A document starts converting, one of total in the call.
    virtual void Started(const std::string& input, size_t total) = 0;
    // A document ended, converted when reason is empty; done of total have ended so far,
    // and secondsLeft is the estimate for the rest (negative while there is none). A
    // document abandoned by a cancel does not end.
    virtual void Ended(const std::string& input, const std::string& reason, size_t done,
                       size_t total, double secondsLeft) = 0;
    // A failure that is no document's: a folder that cannot be read, an index page.
    virtual void Failed(const std::string& line) = 0;
};

}  // namespace quill
