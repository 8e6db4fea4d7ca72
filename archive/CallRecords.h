#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveRoots.h"
#include "archive/CallJob.h"
#include "archive/CallSettings.h"
#include "archive/FailureRecords.h"
#include "platform/Platform.h"

namespace quill {

// What a call reads from its folders' records before it converts, and what it leaves in
// them after: the plan of each document, and the failures each folder keeps.
class TCallRecords {
  public:
    TCallRecords(const TCallSettings& settings, TArchiveRoots& roots, std::string options,
                 TPlatform& platform = TPlatform::Real())
        : settings_(settings), roots_(roots), options_(std::move(options)), platform_(platform) {}

    // The job's size and time, its page's record and its plan (PlanOf).
    void Plan(TCallJob& job);
    // Each folder's failures after the call: those it kept, but for documents that ended
    // in the call or are gone, and the call's own (failed, or not tried again). A folder
    // whose file cannot be written is appended to failures, and the others go on.
    void KeepFailures(const std::vector<TCallJob>& jobs, std::vector<std::string>& failures);

  private:
    const std::vector<TFailureRecord>& Kept(const std::string& folder);

    const TCallSettings& settings_;
    TArchiveRoots& roots_;
    const std::string options_;
    TPlatform& platform_;
    std::map<std::string, std::vector<TFailureRecord>> kept_;  // by output folder
};

}  // namespace quill
