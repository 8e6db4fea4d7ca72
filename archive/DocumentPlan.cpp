#include "archive/DocumentPlan.h"

#include "convert/DocumentNames.h"

namespace quill {

namespace {

bool Unchanged(const TFileStatus& document, uint64_t size, int64_t time) {
    return document.Exists() && document.Size == size && document.ModifiedNs == time;
}

}  // namespace

TPlan PlanOf(const TPlanFacts& f, TPlatform& platform) {
    if (!f.Refusal.empty()) return {TAction::Fail, f.Refusal};
    if (!f.Update)
        return {TAction::Convert, f.Page.Exists() ? "converted again without --update" : "new"};
    if (!f.Recorded) {
        if (!f.Page.Exists()) return {TAction::Convert, "new"};
        if (f.Document.Exists() && f.Page.ModifiedNs >= f.Document.ModifiedNs)
            return {TAction::UpToDate, "the page is no older than the document"};
        return {TAction::Convert, "changed"};
    }
    // A document that itself failed fails again until it changes.
    if (f.Failure && f.Failure->OfDocument && !f.RetryFailed &&
        Unchanged(f.Document, f.Failure->Size, f.Failure->Time))
        return {TAction::Skip, f.Failure->Reason};
    if (!f.Record)
        return {f.Page.Exists() ? TAction::Compare : TAction::Convert,
                f.Page.Exists() ? "no record" : "new"};
    if (!f.RecordIsOfDocument) return {TAction::Convert, "the page was another document's"};
    if (!Unchanged(f.Document, f.Record->Size, f.Record->Time))
        return {TAction::Convert, "changed"};
    if (f.Record->Options != f.Options) return {TAction::Convert, "options changed"};
    if (!f.Page.IsFile()) return {TAction::Convert, "page missing"};
    for (const std::string& picture : f.Record->Files)
        if (!platform.Status(names::Join(f.Folder, picture)).IsFile())
            return {TAction::Convert, "picture " + picture + " missing"};
    for (const std::string& file : f.Record->Extras)
        if (!platform.Status(names::Join(f.Folder, file)).IsFile())
            return {TAction::Convert, file + " missing"};
    // A document added or gone beside it changes where its bar leads.
    if (f.Record->Bar != f.Bar) return {TAction::Convert, "its neighbours changed"};
    if (f.Record->Gone) return {TAction::Record, "its document is back"};
    return {TAction::UpToDate, ""};
}

}  // namespace quill
