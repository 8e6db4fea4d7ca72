#include "archive/CallRecords.h"

#include <cerrno>
#include <set>
#include <utility>

#include "convert/DocumentNames.h"

namespace quill {

const std::vector<TFailureRecord>& TCallRecords::Kept(const std::string& folder) {
    auto it = kept_.find(folder);
    if (it == kept_.end())
        it = kept_.emplace(folder, TFailureRecords::Read(folder, platform_)).first;
    return it->second;
}

void TCallRecords::Plan(TCallJob& job) {
    TPlanFacts facts;
    facts.Update = settings_.update;
    facts.RetryFailed = settings_.retryFailed;
    facts.Refusal = job.Refusal;
    facts.Document = platform_.Status(job.Input);
    facts.Page = platform_.Status(job.Page);
    facts.Options = options_;
    facts.Folder = job.Folder;
    facts.Bar = job.Bar;
    if (facts.Document.IsFile()) job.Size = facts.Document.Size;
    job.Time = facts.Document.ModifiedNs;
    if (!job.Folder.empty()) {
        facts.Recorded = true;
        job.Record =
            TPageRecords::ReadOne(job.Folder, std::string(names::FileName(job.Page)), platform_);
        facts.Record = job.Record ? &*job.Record : nullptr;
        facts.RecordIsOfDocument = job.Record && job.Record->Source == job.Share &&
                                   roots_.Find(job.Record->Archive) == job.Root;
        for (const TFailureRecord& f : Kept(job.Folder))
            if (f.Source == job.Share && roots_.Find(f.Archive) == job.Root) facts.Failure = &f;
    }
    job.Plan = PlanOf(facts, platform_);
}

void TCallRecords::KeepFailures(const std::vector<TCallJob>& jobs,
                                std::vector<std::string>& lines) {
    std::map<std::string, std::vector<const TCallJob*>> byFolder;
    for (const TCallJob& j : jobs)
        if (!j.Folder.empty()) byFolder[j.Folder].push_back(&j);
    for (const auto& [folder, list] : byFolder) {
        std::set<std::pair<int, std::string>> ended;
        for (const TCallJob* j : list)
            if (j->Outcome != TOutcome::None) ended.emplace(j->Root, j->Share);
        std::vector<TFailureRecord> failures;
        for (const TFailureRecord& f : Kept(folder)) {
            const int root = roots_.Find(f.Archive);
            if (root >= 0 && ended.contains({root, f.Source})) continue;
            const int error =
                root < 0 ? 0 : platform_.Status(names::Join(roots_.Input(root), f.Source)).Error;
            if (error != ENOENT && error != ENOTDIR) failures.push_back(f);
        }
        for (const TCallJob* j : list)
            if (j->Outcome == TOutcome::Failed || j->Outcome == TOutcome::Skipped)
                failures.push_back({std::string(names::FileName(j->Input)),
                                    roots_.Absolute(j->Root), j->Share, j->Size, j->Time, j->Reason,
                                    j->OfDocument});
        try {
            TFailureRecords::Write(folder, failures, platform_);
        } catch (const std::exception& e) {
            lines.push_back(e.what());
        }
    }
}

}  // namespace quill
