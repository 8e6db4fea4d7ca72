#include "archive/ArchiveCall.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

#include "archive/CallGate.h"
#include "archive/CallInputs.h"
#include "archive/CallRecords.h"
#include "archive/IndexPages.h"
#include "archive/OrderedCommits.h"
#include "archive/PageBar.h"
#include "archive/PageClashes.h"
#include "archive/PageOptions.h"
#include "archive/PageRecorder.h"
#include "archive/Progress.h"
#include "archive/SearchIndex.h"
#include "archive/SiteFiles.h"
#include "archive/TextSniff.h"
#include "archive/WorkerPool.h"
#include "convert/ConversionRun.h"
#include "convert/DocumentNames.h"
#include "convert/FixedAnswers.h"
#include "convert/StandardStreams.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

namespace {

using TJob = TArchiveCall::TJob;

std::string BaseNameOf(const std::string& path) {
    return names::DeriveNames(path).BaseName;
}

bool Converts(TAction action) {
    return action == TAction::Convert || action == TAction::Compare || action == TAction::Fail;
}

}  // namespace

TArchiveCall::TArchiveCall(const TCallSettings& settings)
    : settings_(settings),
      platform_(settings.platform ? *settings.platform : TPlatform::Real()),
      outputRoot_(settings.dir.value_or("").empty() ? "." : *settings.dir),
      options_(PageOptions(settings)),
      roots_(platform_),
      records_(std::make_unique<TCallRecords>(settings, roots_, options_, platform_)),
      keyOf_(platform_) {}

TArchiveCall::~TArchiveCall() = default;

int RunCall(const TCallSettings& settings) {
    return TArchiveCall(settings).Run();
}

void TArchiveCall::Complain(const std::string& line) {
    if (settings_.watch)
        settings_.watch->Failed(line);
    else
        std::cerr << "vornik2html: " << settings_.run.NameEncoding.Shown(line) << std::endl;
    failed_ = true;
}

void TArchiveCall::Warn(const std::string& line) {
    if (!settings_.watch && !settings_.quiet)
        std::cerr << "vornik2html: " << settings_.run.NameEncoding.Shown(line) << std::endl;
}

bool TArchiveCall::Cancelled() const {
    return stopped_ || (settings_.watch && settings_.watch->Cancelled());
}

bool TArchiveCall::BeginCommit() {
    std::lock_guard<std::mutex> lock(commitLock_);
    if (stopped_) return false;
    ++committing_;
    return true;
}

void TArchiveCall::EndCommit() {
    {
        std::lock_guard<std::mutex> lock(commitLock_);
        --committing_;
    }
    commitsDone_.notify_all();
}

int TArchiveCall::Run() {
    // Without Pagefind a call with --search would convert everything, then fail.
    if (WantsSearch() && !settings_.shard) {
        try {
            TSearchIndex::FindProgram(settings_.pagefind);
        } catch (const std::exception& e) {
            Complain(e.what());
            return 1;
        }
    }
    if (settings_.indexOnly) return IndexOnly();
    if (!ListInputs(settings_, outputRoot_, platform_, roots_, jobs_, archive_,
                    [this](const std::string& line) { Complain(line); }))
        return 1;
    Refuse();
    Select();
    Plan();
    if (settings_.dryRun) return DryRun();
    Schedule();
    scheduled_ = true;
    pool_->RunDocuments(jobs_.size(), [this](size_t i) { ConvertOne(i); });
    WriteRecordsAndIndexes(/*interrupted=*/false);
    const TCallCounts counts = Counts();
    // Failures, so said with -q too: the exit status would otherwise be 1 without a word.
    if (counts.Skipped > 0)
        Complain(TProgress::Count(counts.Skipped, "document", "documents") +
                 " failed before and did not change since: not tried again (--retry-failed "
                 "tries them)");
    progress_->Finish(counts);
    // A document not tried again is still no page.
    return failed_ || counts.Skipped > 0 || Cancelled() ? 1 : 0;
}

void TArchiveCall::Interrupt() {
    {
        std::unique_lock<std::mutex> lock(commitLock_);
        stopped_ = true;
        // A rename that does not end (a stuck network folder) must not keep the process.
        commitsDone_.wait_for(lock, std::chrono::seconds(10), [&] { return committing_ == 0; });
    }
    if (scheduled_) WriteRecordsAndIndexes(/*interrupted=*/true);
}

int TArchiveCall::IndexOnly() {
    // A DIR that is not there has no index to write; saying nothing would pass a typo.
    const TFileStatus info = platform_.Status(outputRoot_);
    const int error = !info.Exists() ? info.Error : info.IsFolder() ? 0 : ENOTDIR;
    if (error != 0) {
        Complain(outputRoot_ + ": Cannot read the folder: " + TPlatform::Reason(error));
        return 1;
    }
    std::vector<std::string> failures, unlisted;
    TIndexPages::Build(outputRoot_, failures, platform_, &unlisted, settings_.run.NameEncoding,
                       {.Search = WantsSearch()});
    for (const std::string& line : unlisted) Warn(line);
    for (const std::string& line : failures) Complain(line);
    if (WantsSearch()) BuildSearch();
    return failed_ ? 1 : 0;
}

bool TArchiveCall::WantsSearch() const {
    if (settings_.search) return true;
    // A site searched before stays searchable: --index after the shards keeps its search.
    return settings_.indexOnly &&
           platform_.Status(names::Join(outputRoot_, TSearchIndex::kBundleName)).IsFolder();
}

void TArchiveCall::BuildSearch() {
    try {
        TSearchIndex::Build(outputRoot_, settings_.pagefind);
    } catch (const std::exception& e) {
        Complain(e.what());
    }
}

void TArchiveCall::Refuse() {
    // A page on standard output clashes with nothing.
    if (!settings_.toStdout) RefuseClashingPages(platform_, jobs_, keyOf_);
    // In an archive the folder's index page takes that name; the document's page would be
    // lost under it.
    for (TJob& j : jobs_)
        if (!j.Folder.empty() && j.Refusal.empty() &&
            names::FileName(j.Page) == TIndexPages::kIndexName)
            j.Refusal = "Cannot create \"" + j.Page + "\": it is the folder's index page";
}

void TArchiveCall::Select() {
    const TCallSettings& s = settings_;
    // A page of a document in another share is no gone document's.
    for (const TJob& j : jobs_) listedPages_.push_back(keyOf_(j.Page));
    std::sort(listedPages_.begin(), listedPages_.end());
    // Before the shares: a page's neighbours are those of its folder in every share.
    if (archive_ && s.run.Html5) SetBars(jobs_, s.originals, s.run.NameEncoding);
    std::erase_if(jobs_, [&](const TJob& j) { return s.shard && !s.shard->Contains(j.Share); });
}

void TArchiveCall::Plan() {
    for (TJob& job : jobs_) records_->Plan(job);
    if (!archive_) return;
    const auto mayBeGone = [&](const std::string& page, const TPageRecord& record) {
        return !std::binary_search(listedPages_.begin(), listedPages_.end(), keyOf_(page)) &&
               (!settings_.shard || settings_.shard->Contains(record.Source));
    };
    gone_ = TGoneDocuments::Find(outputRoot_, roots_, mayBeGone, platform_);
    // Taken off the index before: only --prune has anything left to do with them.
    if (!settings_.prune)
        std::erase_if(gone_, [](const TGoneDocument& g) { return g.Record.Gone; });
}

std::vector<TReportEntry> TArchiveCall::Entries(bool planned) const {
    std::vector<TReportEntry> entries;
    {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        entries = ReportEntries(jobs_, planned || goneDone_ ? gone_ : std::vector<TGoneDocument>(),
                                planned, settings_.prune);
    }
    // Names as the progress lines and the index pages show them.
    const names::TNameEncoding& encoding = settings_.run.NameEncoding;
    for (TReportEntry& e : entries) {
        e.Input = encoding.Shown(e.Input);
        e.Page = encoding.Shown(e.Page);
        e.Reason = encoding.Shown(e.Reason);
    }
    return entries;
}

int TArchiveCall::DryRun() {
    const std::string text = PlanText(Entries(/*planned=*/true));
    if (const int error = platform_.WriteStandardOutput(text.data(), text.size()))
        Complain("Cannot write to standard output: " + TPlatform::Reason(error));
    WriteReport(/*planned=*/true);
    return failed_ ? 1 : 0;
}

void TArchiveCall::Schedule() {
    std::vector<TOrderedCommits::TDocument> documents;
    std::vector<std::string> families;
    uint64_t bytes = 0;
    size_t work = 0;
    for (const TJob& j : jobs_) {
        // "-" names its pictures "stdin"; spelt as keys are, to be found in them.
        documents.push_back(
            {j.Input, keyOf_(j.Page), platform_.KeyName(BaseNameOf(names::DocumentFile(j.Input)))});
        // An up-to-date page and its pictures stay: no document of the call replaces them.
        if (!Converts(j.Plan.Action) && j.Plan.Action != TAction::Skip && j.Record) {
            documents.back().Kept.push_back(j.Page);
            for (const std::string& f : j.Record->Files)
                documents.back().Kept.push_back(names::Join(j.Folder, f));
            for (const std::string& f : j.Record->Extras)
                documents.back().Kept.push_back(names::Join(j.Folder, f));
        }
        if (!j.Folder.empty())
            for (const std::string& f : TSiteFiles::Of(settings_, j.Input).Names(j.Input))
                documents.back().Extras.push_back(keyOf_(names::Join(j.Folder, f)));
        // Documents that could want one file: the same folder, and names alike but for
        // the digits a picture's name begins with. Any file two documents both may write
        // lies within one family, so a document never waits at the gate for one of
        // another family.
        families.push_back(std::string(names::FolderOf(documents.back().PageKey)) + '\n' +
                           std::string(names::PictureFamily(documents.back().BaseName)));
        if (Converts(j.Plan.Action)) {
            bytes += j.Size;
            ++work;
        }
    }
    pool_ = std::make_unique<TWorkerPool>(settings_.jobs != 0 ? settings_.jobs
                                                              : platform_.ProcessorCount());
    order_ = std::make_unique<TOrderedCommits>(std::move(documents), pool_.get());
    // A worker waiting for its last pictures may run the next document meanwhile, on its
    // own thread, when that document can never wait for it.
    pool_->MayNest([families = std::move(families)](size_t outer, size_t next) {
        return families[outer] != families[next];
    });
    progress_ = std::make_unique<TProgress>(work, bytes, jobs_.size(), settings_.terminal,
                                            settings_.quiet, settings_.watch != nullptr, platform_,
                                            settings_.run.NameEncoding);
}

void TArchiveCall::End(size_t i, TOutcome outcome, int pictures, const std::string& reason,
                       bool ofDocument) {
    TJob& job = jobs_[i];
    {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        job.Outcome = outcome;
        job.Pictures = pictures;
        job.Reason = reason;
        job.OfDocument = ofDocument;
    }
    switch (outcome) {
        case TOutcome::Converted:
            progress_->Converted(i, job.Input, job.Page, pictures, job.Size);
            break;
        case TOutcome::Recorded:
            progress_->Noted(
                i, job.Input + " -> " + job.Page + " (" +
                       TProgress::Count(static_cast<uint64_t>(pictures), "picture", "pictures") +
                       ", in place already: its record written)");
            break;
        case TOutcome::Failed:
            failed_ = true;
            progress_->Failed(i, job.Input, reason);
            break;
        case TOutcome::Skipped:
            progress_->Noted(i, job.Input +
                                    ": failed before and did not change since, not tried "
                                    "again: " +
                                    reason);
            break;
        default:
            progress_->Ended(i);
    }
    if (settings_.watch && Converts(job.Plan.Action) && outcome != TOutcome::None)
        settings_.watch->Ended(job.Input, outcome == TOutcome::Failed ? reason : "",
                               progress_->Done(), jobs_.size(), progress_->SecondsLeft());
}

bool TArchiveCall::PutRecord(const std::string& folder, const TPageRecord& record) {
    if (!BeginCommit()) return false;
    try {
        TPageRecords::Write(folder, record, platform_);
    } catch (...) {
        EndCommit();
        throw;
    }
    EndCommit();
    return true;
}

void TArchiveCall::ConvertOne(size_t i) {
    const TJob& job = jobs_[i];
    if (job.Plan.Action == TAction::UpToDate || job.Plan.Action == TAction::Skip) {
        order_->Finish(i, job.Plan.Action == TAction::UpToDate);
        const bool skipped = job.Plan.Action == TAction::Skip;
        End(i, skipped ? TOutcome::Skipped : TOutcome::UpToDate,
            !skipped && job.Record ? job.Record->Pictures : 0, job.Plan.Why, skipped);
        return;
    }
    if (Cancelled()) {
        order_->Finish(i, false);
        End(i, TOutcome::None, 0, "");
        return;
    }
    if (settings_.watch && Converts(job.Plan.Action))
        settings_.watch->Started(job.Input, jobs_.size());
    bool finished = false;
    try {
        TOutcome outcome = TOutcome::Recorded;
        int pictures = job.Record ? job.Record->Pictures : 0;
        if (job.Plan.Action == TAction::Record) {
            TPageRecord record = *job.Record;
            record.Gone = false;
            if (!PutRecord(job.Folder, record)) throw Exception("cancelled");
        } else {
            pictures = ConvertJob(i, outcome);
        }
        order_->Finish(i, true);
        finished = true;
        End(i, outcome, pictures, job.Plan.Why);
    } catch (const std::exception& e) {
        if (!finished) order_->Finish(i, false);
        // A document abandoned by a cancel has not failed: it is simply not converted.
        if (!finished && Cancelled()) {
            End(i, TOutcome::None, 0, "");
            return;
        }
        // A document that cannot be read fails again until it changes.
        const auto* error = dynamic_cast<const Exception*>(&e);
        End(i, TOutcome::Failed, 0, e.what(), error && error->FileName() == job.Input);
    }
}

int TArchiveCall::ConvertJob(size_t i, TOutcome& outcome) {
    const TCallSettings& s = settings_;
    const TJob& job = jobs_[i];
    if (!job.Refusal.empty()) throw Exception(job.Refusal);
    if (!job.Folder.empty()) {
        if (const int error = platform_.MakeFolders(job.Folder)) {
            const std::string reason = TPlatform::Reason(error);
            throw EInOutError("Cannot create the folder \"" + job.Folder + "\": " + reason,
                              job.Folder, reason);
        }
    }
    const std::string kind = LooksLikeOtherText(DocumentHead(platform_, job.Input));
    if (!kind.empty())
        progress_->Warn(
            i, job.Input + ": looks like " + kind + ", not a Vornik document; converted anyway");
    TFixedOptions options(s.colors, s.pitch42, s.bmp);
    // A page for standard output is written aside and copied there on success.
    const std::unique_ptr<TStdoutPage> toStdout =
        s.toStdout ? std::make_unique<TStdoutPage>(platform_) : nullptr;
    TNamedFiles files(names::DocumentFile(job.Input), toStdout ? toStdout->FileName() : job.Page);
    // An archive's page has its record, put in place with it.
    std::optional<TPageRecorder> recorder;
    if (!job.Folder.empty()) {
        TPageRecord record;
        record.Page = names::FileName(job.Page);
        record.Document = names::FileName(job.Input);
        record.Archive = roots_.Absolute(job.Root);
        record.Source = job.Share;
        record.Size = job.Size;
        record.Time = job.Time;
        record.Options = options_;
        record.Bar = job.Bar;
        recorder.emplace(std::move(record), job.Folder, job.Plan.Action == TAction::Compare,
                         platform_, TSiteFiles::Of(settings_, job.Input), job.Input);
    }
    // Closes the window an open gate began, however the run ends.
    struct TCommitting {
        TArchiveCall& call;
        bool open = false;
        ~TCommitting() {
            if (open) call.EndCommit();
        }
    } committing{*this};
    const auto cancelled = [this] { return Cancelled(); };
    TCallGate gate(
        order_->Gate(i), cancelled, [&] { return committing.open = BeginCommit(); },
        recorder ? &*recorder : nullptr);
    TCancellablePictures pictureWork(pool_->PicturesOf(i), cancelled);
    TRunSettings runSettings = s.run;
    runSettings.Platform = &platform_;
    runSettings.Bar = job.Bar;
    TConversionRun run(options, files, s.style, runSettings, &gate, &pictureWork,
                       recorder ? &*recorder : nullptr);
    try {
        const TRunResult result = run.Run();
        if (toStdout) toStdout->CopyToStdout();
        outcome = TOutcome::Converted;
        return result.PictureFiles;
    } catch (const EInPlace&) {
        TPageRecords::Write(job.Folder, recorder->Record(), platform_);
        outcome = TOutcome::Recorded;
        return recorder->Record().Pictures;
    }
}

bool TArchiveCall::Changed() const {
    if (goneSettled_ > 0) return true;
    std::lock_guard<std::mutex> lock(outcomeLock_);
    return std::any_of(jobs_.begin(), jobs_.end(), [](const TJob& j) {
        return j.Outcome == TOutcome::Converted || j.Outcome == TOutcome::Recorded;
    });
}

TCallCounts TArchiveCall::Counts() const {
    TCallCounts counts;
    counts.Update = settings_.update;
    counts.Prune = settings_.prune;
    counts.Gone = goneSettled_;
    std::lock_guard<std::mutex> lock(outcomeLock_);
    for (const TJob& j : jobs_) {
        counts.UpToDate += j.Outcome == TOutcome::UpToDate || j.Outcome == TOutcome::Recorded;
        counts.Recorded += j.Outcome == TOutcome::Recorded;
        counts.Skipped += j.Outcome == TOutcome::Skipped;
    }
    return counts;
}

void TArchiveCall::WriteRecordsAndIndexes(bool interrupted) {
    std::lock_guard<std::mutex> lock(endLock_);
    std::vector<std::string> failures;
    // What is gone waits for a call that ends: an interrupt writes no more than it must.
    if (!interrupted && !gone_.empty()) {
        goneSettled_ = TGoneDocuments::Settle(gone_, settings_.prune, failures, platform_);
        goneDone_ = true;
    }
    WriteFailures(failures);
    WriteReport(/*planned=*/false);
    // A share leaves the index pages to --index, once every share is done.
    if (archive_ && !settings_.shard)
        TIndexPages::Build(outputRoot_, failures, platform_, nullptr, settings_.run.NameEncoding,
                           {.Search = settings_.search});
    for (const std::string& line : failures) Complain(line);
    // The search index is brought up to date by a call that changed the site, or that
    // finds none; an interrupt leaves it to the next call.
    if (archive_ && !settings_.shard && settings_.search && !interrupted &&
        (Changed() ||
         !platform_.Status(names::Join(outputRoot_, TSearchIndex::kBundleName)).IsFolder()))
        BuildSearch();
}

void TArchiveCall::WriteFailures(std::vector<std::string>& failures) {
    // Shares on other machines would write one folder's file at once: a whole call keeps
    // the failures.
    if (!archive_ || settings_.shard) return;
    std::vector<TJob> jobs;
    {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        jobs = jobs_;
    }
    records_->KeepFailures(jobs, failures);
}

void TArchiveCall::WriteReport(bool planned) {
    if (!settings_.report) return;
    try {
        WriteReportFile(*settings_.report, Entries(planned), platform_);
    } catch (const std::exception& e) {
        Complain(e.what());
    }
}

}  // namespace quill
