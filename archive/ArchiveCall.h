#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveRoots.h"
#include "archive/CallJob.h"
#include "archive/CallReport.h"
#include "archive/CallSettings.h"
#include "archive/DocumentPlan.h"
#include "archive/FailureRecords.h"
#include "archive/GoneDocuments.h"
#include "archive/PageRecords.h"
#include "archive/SiteFiles.h"
#include "platform/FileIdentity.h"

namespace quill {

class TCallRecords;
class TOrderedCommits;
class TPageRecorder;
class TProgress;
class TWorkerPool;
struct TCallCounts;

// One call of the command-line converter, in named steps: list the documents of its
// INPUTs (a folder is walked, its pages laid out below DIR as its documents lie below
// it), refuse what would destroy another file of the call, select (shares), plan what each
// document gets and why (--update: what is not up to date; documents that are gone),
// schedule them on one pool of workers, documents and pictures alike, convert each and put
// its files and its record in place in the order of the call, then settle the documents
// that are gone and write the folders' failures, the report and the index pages.
class TArchiveCall {
  public:
    explicit TArchiveCall(const TCallSettings& settings);
    ~TArchiveCall();
    TArchiveCall(const TArchiveCall&) = delete;
    TArchiveCall& operator=(const TArchiveCall&) = delete;

    // The whole call; answers the exit status: 0 all converted, 1 something failed.
    int Run();

    // From another thread, when the process is about to end (a signal): from now on no
    // document puts its files in place; once those doing so are done, the folders'
    // failures, the report and the index pages are written for every document that
    // finished. Answers when they are. The documents in progress go on until the process
    // ends; their temporary files are then the caller's to remove.
    void Interrupt();

    // One document of the call.
    using TJob = TCallJob;

  private:
    int IndexOnly();
    // Whether the call keeps the site's search index: --search, or --index of a site
    // that has one.
    bool WantsSearch() const;
    void BuildSearch();
    // Whether the call put anything in place or took anything off the index.
    bool Changed() const;
    // Pages that are another document of the call or the page of an earlier one, and
    // pages that would take an index page's name.
    void Refuse();
    // Shares choose among all documents only now, so that a page two documents would write
    // goes to the same one in every share and in every run.
    void Select();
    // What each document gets and why, from its page's record, the folder's failures and
    // the options; and which recorded documents are gone.
    void Plan();
    int DryRun();
    // The commit order and the pool, and which documents may nest in another's wait.
    void Schedule();
    void ConvertOne(size_t i);
    // Converts job i; answers its pictures. outcome: Converted, or Recorded when its files
    // were in place already.
    int ConvertJob(size_t i, TOutcome& outcome);
    // Puts a record in place by itself; false when the call is stopping.
    bool PutRecord(const std::string& folder, const TPageRecord& record);
    void End(size_t i, TOutcome outcome, int pictures, const std::string& reason,
             bool ofDocument = false);
    // After the documents, or after an interrupt for those that finished: the gone
    // documents (not after an interrupt), the failures, the report and the index pages.
    void WriteRecordsAndIndexes(bool interrupted);
    void WriteFailures(std::vector<std::string>& failures);
    // What each document got, or with planned would get, as the report and a dry run say.
    std::vector<TReportEntry> Entries(bool planned) const;
    void WriteReport(bool planned);
    TCallCounts Counts() const;
    void Complain(const std::string& line);
    void Warn(const std::string& line);
    bool Cancelled() const;
    // Around putting files in place: false once the call is interrupted.
    bool BeginCommit();
    void EndCommit();

    const TCallSettings& settings_;
    TPlatform& platform_;
    const std::string outputRoot_;  // DIR, or "." for the current folder
    const std::string options_;     // PageOptions
    bool archive_ = false;          // some INPUT is a folder
    std::atomic<bool> failed_{false};
    std::vector<TJob> jobs_;
    std::vector<std::string> listedPages_;  // page keys of every document listed
    std::vector<TGoneDocument> gone_;
    size_t goneSettled_ = 0;
    bool goneDone_ = false;  // gone_ settled
    TArchiveRoots roots_;
    std::unique_ptr<TCallRecords> records_;
    TFileKeys keyOf_;
    std::unique_ptr<TWorkerPool> pool_;
    std::unique_ptr<TOrderedCommits> order_;
    std::unique_ptr<TProgress> progress_;
    mutable std::mutex outcomeLock_;  // the outcomes of jobs_
    std::mutex endLock_;              // the last step, from Run or Interrupt
    std::atomic<bool> scheduled_{false};
    // An interrupt stops the commits, and waits for those under way.
    std::mutex commitLock_;
    std::condition_variable commitsDone_;
    std::atomic<bool> stopped_{false};
    int committing_ = 0;
};

// The whole call: TArchiveCall(settings).Run().
int RunCall(const TCallSettings& settings);

}  // namespace quill
