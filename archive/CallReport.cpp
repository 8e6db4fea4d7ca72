#include "archive/CallReport.h"

#include <map>

#include "archive/NumberText.h"
#include "convert/DocumentNames.h"
#include "convert/MarkupNames.h"
#include "platform/JsonText.h"
#include "platform/StagedFiles.h"
#include "platform/WholeFiles.h"

namespace quill {

const char* OutcomeWord(TOutcome outcome) {
    switch (outcome) {
        case TOutcome::Converted:
            return "converted";
        case TOutcome::Recorded:
            return "recorded";
        case TOutcome::UpToDate:
            return "up to date";
        case TOutcome::Failed:
            return "failed";
        case TOutcome::Skipped:
            return "skipped";
        case TOutcome::Gone:
            return "gone";
        case TOutcome::Pruned:
            return "pruned";
        case TOutcome::None:
            break;
    }
    return "";
}

const char* PlannedWord(TAction action) {
    switch (action) {
        case TAction::Convert:
            return "convert";
        case TAction::Compare:
            return "compare";
        case TAction::UpToDate:
            return "up to date";
        case TAction::Record:
            return "record";
        case TAction::Fail:
            return "fail";
        case TAction::Skip:
            return "skip";
    }
    return "";
}

namespace {

// JSON is UTF-8: a byte of a name that is none shows as U+FFFD, as in the index pages.
std::string Text(const std::string& s) {
    return json::Quoted(names::PlainText(s));
}

}  // namespace

std::string JsonLine(const TReportEntry& e) {
    return "{\"status\":" + Text(e.Status) + ",\"input\":" + Text(e.Input) +
           ",\"page\":" + Text(e.Page) + ",\"pictures\":" + std::to_string(e.Pictures) +
           ",\"reason\":" + Text(e.Reason) + "}\n";
}

std::string PlanLine(const TReportEntry& e) {
    return e.Input + " -> " + e.Page + ": " + e.Status +
           (e.Reason.empty() ? std::string() : " (" + e.Reason + ")") + "\n";
}

std::vector<TReportEntry> ReportEntries(const std::vector<TCallJob>& jobs,
                                        const std::vector<TGoneDocument>& gone, bool planned,
                                        bool prune) {
    std::vector<TReportEntry> entries;
    for (const TCallJob& j : jobs) {
        if (planned)
            entries.push_back(
                {PlannedWord(j.Plan.Action), j.Input, j.Page,
                 j.Record && j.Plan.Action == TAction::UpToDate ? j.Record->Pictures : 0,
                 j.Plan.Why});
        else if (j.Outcome != TOutcome::None)
            entries.push_back({OutcomeWord(j.Outcome), j.Input, j.Page, j.Pictures, j.Reason});
    }
    for (const TGoneDocument& g : gone)
        entries.push_back({planned ? (prune ? "prune" : "unlist")
                           : prune ? OutcomeWord(TOutcome::Pruned)
                                   : OutcomeWord(TOutcome::Gone),
                           g.Document, names::Join(g.Folder, g.Record.Page), g.Record.Pictures,
                           "its document is gone"});
    return entries;
}

std::string PlanText(const std::vector<TReportEntry>& entries) {
    std::string text, counts;
    std::map<std::string, size_t> count;
    std::vector<std::string> order;
    for (const TReportEntry& e : entries) {
        text += PlanLine(e);
        if (count[e.Status]++ == 0) order.push_back(e.Status);
    }
    for (const std::string& status : order)
        counts += (counts.empty() ? "" : ", ") + Grouped(count[status]) + " " + status;
    return text + "dry run: " + (counts.empty() ? std::string("no documents") : counts) +
           "; nothing written\n";
}

void WriteReportFile(const std::string& path, const std::vector<TReportEntry>& entries,
                     TPlatform& platform) {
    std::string text;
    for (const TReportEntry& e : entries) text += JsonLine(e);
    TStagedFiles staged(platform);
    WriteWholeFile(platform, path, staged.Stage(path), text);
    staged.Commit();
}

}  // namespace quill
