#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "convert/NameEncoding.h"
#include "platform/Platform.h"

namespace quill {

// What a call tells on stderr while it converts. On a terminal: one status line, redrawn
// in place (documents done of all, pictures, MB/s, time spent and left); elsewhere a line
// per document. Then a summary line. Quiet: failures only. Names that are not UTF-8 are
// shown by the call's name encoding. Safe from any thread.
class TProgress {
  public:
    // silent: nothing at all on stderr, for a caller that shows progress its own way.
    TProgress(size_t documents, uint64_t bytes, bool terminal, bool quiet, bool silent = false,
              TPlatform& platform = TPlatform::Real(), const names::TNameEncoding& encoding = {});

    void Converted(const std::string& input, const std::string& page, int pictures, uint64_t bytes);
    void Failed(const std::string& input, const std::string& reason);
    void Warn(const std::string& line);
    // The summary, e.g. "412 documents, 3 failed, 5,210 pictures, 41 s".
    void Finish();
    std::string Summary() const;
    // Documents ended so far, and the time the rest should take by the bytes converted so
    // far (negative before the first document).
    size_t Done();
    double SecondsLeft();

    // "1 picture", "2 pictures"; thousands grouped.
    static std::string Count(uint64_t n, const std::string& one, const std::string& many);
    static std::string Duration(double seconds);

  private:
    void Print(const std::string& line);  // with the lock held
    void Redraw(bool now);                // with the lock held

    double Left(double now) const;  // with the lock held
    const size_t documents_;
    const uint64_t bytes_;
    const bool terminal_;
    const bool quiet_;
    const bool silent_;
    TPlatform& platform_;
    const names::TNameEncoding encoding_;
    const double start_;  // the platform's clock, in seconds
    double drawn_ = 0;
    std::mutex lock_;
    size_t done_ = 0;
    size_t failed_ = 0;
    uint64_t pictures_ = 0;
    uint64_t bytesDone_ = 0;
    bool lineShown_ = false;
};

}  // namespace quill
