#include "archive/FailureRecords.h"

#include <cerrno>

#include "archive/PageRecords.h"
#include "archive/RecordText.h"
#include "convert/DocumentNames.h"
#include "platform/Exception.h"
#include "platform/StagedFiles.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

constexpr const char* kKind = "failures";

std::string TextOf(const std::vector<TFailureRecord>& failures) {
    std::string text = records::Header(kKind);
    for (const TFailureRecord& f : failures)
        text += records::Line({
            {"document", f.Document},
            {"archive", f.Archive},
            {"source", f.Source},
            {"size", std::to_string(f.Size)},
            {"time", std::to_string(f.Time)},
            {"cause", f.OfDocument ? "document" : "other"},
            {"reason", f.Reason},
        });
    return text;
}

}  // namespace

std::string TFailureRecords::PathOf(const std::string& folder) {
    return names::Join(names::Join(folder.empty() ? "." : folder, TPageRecords::kFolder),
                       kFileName);
}

std::vector<TFailureRecord> TFailureRecords::Read(const std::string& folder, TPlatform& platform) {
    std::string text;
    std::vector<TFailureRecord> failures;
    if (!ReadWholeFile(platform, PathOf(folder), text)) return failures;
    const auto entries = records::Entries(text, kKind);
    if (!entries) return failures;
    for (const records::TFields& e : *entries) {
        TFailureRecord f;
        f.Document = records::Text(e, "document");
        f.Archive = records::Text(e, "archive");
        f.Source = records::Text(e, "source");
        f.Size = records::Number(e, "size");
        f.Time = records::SignedNumber(e, "time");
        f.Reason = records::Text(e, "reason");
        f.OfDocument = records::Text(e, "cause") == "document";
        failures.push_back(std::move(f));
    }
    return failures;
}

void TFailureRecords::Write(const std::string& folder, const std::vector<TFailureRecord>& failures,
                            TPlatform& platform) {
    const std::string path = PathOf(folder);
    std::string old;
    const bool exists = ReadWholeFile(platform, path, old);
    if (failures.empty()) {
        if (!exists) return;
        if (const int error = platform.Remove(path); error != 0 && error != ENOENT) {
            const std::string reason = TPlatform::Reason(error);
            throw EInOutError("Cannot remove \"" + path + "\": " + reason, path, reason);
        }
        return;
    }
    const std::string text = TextOf(failures);
    if (exists && text == old) return;
    const std::string own(names::FolderOf(path));
    if (const int error = platform.MakeFolders(own)) {
        const std::string reason = TPlatform::Reason(error);
        throw EInOutError("Cannot create the folder \"" + own + "\": " + reason, own, reason);
    }
    TStagedFiles staged(platform);
    WriteWholeFile(platform, path, staged.Stage(path), text);
    staged.Commit();
}

}  // namespace quill
