#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/CallSettings.h"
#include "archive/PageRecords.h"
#include "platform/FileIdentity.h"

namespace quill {

class TOrderedCommits;
class TProgress;
class TWorkerPool;

// One call of the command-line converter, in named steps: list the documents of its
// INPUTs (a folder is walked, its pages laid out below DIR as its documents lie below
// it), refuse what would destroy another file of the call, select (shares, --update),
// schedule them on one pool of workers, documents and pictures alike, convert each and
// put its files in place in the order of the call, then record what the indexes need and
// write the index pages.
class TArchiveCall {
  public:
    explicit TArchiveCall(const TCallSettings& settings);
    ~TArchiveCall();
    TArchiveCall(const TArchiveCall&) = delete;
    TArchiveCall& operator=(const TArchiveCall&) = delete;

    // The whole call; answers the exit status: 0 all converted, 1 something failed.
    int Run();

    // One document of the call.
    struct TJob {
        std::string Input;    // as it is opened
        std::string Page;     // the page to write
        std::string Share;    // what --shard goes by: the path below a folder INPUT, or INPUT
        std::string Folder;   // in an archive: the page's folder, made and recorded; else ""
        std::string Refusal;  // non-empty: not converted, and why
        uint64_t Size = 0;
    };

  private:
    int IndexOnly();
    // The documents, in the order of the call; a folder's in the order of its walk.
    // Answers false when the call cannot go on.
    bool List();
    // Pages that are another document of the call or the page of an earlier one, and
    // pages that would take an index page's name.
    void Refuse();
    // Shares and --update choose among all documents only now, so that a page two
    // documents would write goes to the same one in every share and in every run.
    void Select();
    // The commit order and the pool, and which documents may nest in another's wait.
    void Schedule();
    void ConvertOne(size_t i);
    // Converts job i; answers its picture files.
    int ConvertJob(size_t i);
    void WriteRecordsAndIndexes();
    void Complain(const std::string& line);
    bool Cancelled() const;

    const TCallSettings& settings_;
    TPlatform& platform_;
    const std::string outputRoot_;  // DIR, or "." for the current folder
    bool archive_ = false;          // some INPUT is a folder
    std::atomic<bool> failed_{false};
    std::vector<TJob> jobs_;
    TFileKeys keyOf_;
    std::unique_ptr<TWorkerPool> pool_;
    std::unique_ptr<TOrderedCommits> order_;
    std::unique_ptr<TProgress> progress_;
    std::mutex recordsLock_;
    std::map<std::string, std::vector<TPageRecord>> records_;  // by output folder
};

// The whole call: TArchiveCall(settings).Run().
int RunCall(const TCallSettings& settings);

}  // namespace quill
