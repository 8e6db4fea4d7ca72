#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "convert/NameEncoding.h"
#include "platform/Platform.h"

namespace quill {

// What came of a call, for its summary line.
struct TCallCounts {
    bool Update = false;  // --update: counts of what was done and what was left
    bool Prune = false;   // --prune: gone documents' files removed
    size_t UpToDate = 0;  // up to date, recorded ones included
    size_t Recorded = 0;  // up to date, with only their records written
    size_t Skipped = 0;   // failed before and not tried again
    size_t Gone = 0;      // documents no longer there, taken off the index (or pruned)
};

// What a call tells on stderr while it converts. On a terminal: one status line, redrawn
// in place (documents done of all, pictures, MB/s, time spent and left); elsewhere a line
// per document, in the order of the documents whatever order they end in. Then a summary
// line. Quiet: failures only. Names that are not UTF-8 are shown by the call's name
// encoding. Safe from any thread.
class TProgress {
  public:
    // documents: those to convert, for the status line; lines: all documents of the call,
    // numbered from 0 in their order. silent: nothing at all on stderr, for a caller that
    // shows progress its own way.
    TProgress(size_t documents, uint64_t bytes, size_t lines, bool terminal, bool quiet,
              bool silent = false, TPlatform& platform = TPlatform::Real(),
              const names::TNameEncoding& encoding = {});

    // Document i ends: converted (with a note after its pictures, if any), failed, left
    // as it was with a line of why (Noted), or without a line (Ended).
    void Converted(size_t i, const std::string& input, const std::string& page, int pictures,
                   uint64_t bytes, const std::string& note = "");
    void Failed(size_t i, const std::string& input, const std::string& reason);
    void Noted(size_t i, const std::string& line);
    void Ended(size_t i);
    // A warning about document i, shown before the line it ends with.
    void Warn(size_t i, const std::string& line);
    // The summary, e.g. "412 documents, 3 failed, 5,210 pictures, 41 s".
    void Finish(const TCallCounts& counts);
    std::string Summary(const TCallCounts& counts) const;
    // Documents converted or failed so far, and the time the rest should take by the bytes
    // converted so far (negative before the first document).
    size_t Done();
    double SecondsLeft();

    // "1 picture", "2 pictures"; thousands grouped.
    static std::string Count(uint64_t n, const std::string& one, const std::string& many);
    static std::string Duration(double seconds);

  private:
    struct TLines {
        std::vector<std::string> Text;
        bool Ended = false;
    };
    // With the lock held: document i's line, shown once every earlier document has ended.
    void Add(size_t i, std::string line, bool ends);
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
    std::vector<TLines> lines_;  // by document: those not yet shown
    size_t shown_ = 0;           // every document before it has ended and been shown
    size_t done_ = 0;
    size_t failed_ = 0;
    uint64_t pictures_ = 0;
    uint64_t bytesDone_ = 0;
    bool lineShown_ = false;
};

}  // namespace quill
