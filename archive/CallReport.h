#pragma once

#include <string>
#include <vector>

#include "archive/CallJob.h"
#include "archive/DocumentPlan.h"
#include "archive/GoneDocuments.h"
#include "platform/Platform.h"

namespace quill {

// One document's line in a report (--report) or in a dry run (--dry-run).
struct TReportEntry {
    std::string Status;  // OutcomeWord or PlannedWord
    std::string Input;   // the document
    std::string Page;
    int Pictures = 0;
    std::string Reason;  // why: what changed, or the failure
};

// "converted", "recorded", "up to date", "failed", "skipped", "gone", "pruned".
const char* OutcomeWord(TOutcome outcome);
// What a dry run says each plan would do: "convert", "compare", "up to date", "record",
// "fail", "skip"; for gone documents "unlist" and "prune".
const char* PlannedWord(TAction action);

// {"status":…,"input":…,"page":…,"pictures":N,"reason":…} and a line end.
std::string JsonLine(const TReportEntry& entry);
// "INPUT -> PAGE: STATUS (reason)" and a line end, as a dry run prints it.
std::string PlanLine(const TReportEntry& entry);

// What each job got, or with planned would get, and the gone documents (when settled or
// planned; prune: their files go too).
std::vector<TReportEntry> ReportEntries(const std::vector<TCallJob>& jobs,
                                        const std::vector<TGoneDocument>& gone, bool planned,
                                        bool prune);

// What a dry run prints: a PlanLine for each entry, then how many got each status and
// that nothing was written.
std::string PlanText(const std::vector<TReportEntry>& entries);
// The report: a JsonLine for each entry, put in place whole at path; fails with
// EInOutError.
void WriteReportFile(const std::string& path, const std::vector<TReportEntry>& entries,
                     TPlatform& platform = TPlatform::Real());

}  // namespace quill
