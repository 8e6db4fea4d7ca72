#include "archive/PageRecords.h"

#include <algorithm>
#include <sstream>

#include "archive/RecordText.h"
#include "convert/DocumentNames.h"
#include "convert/MarkupNames.h"
#include "platform/Exception.h"
#include "platform/StagedFiles.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

constexpr const char* kKind = "page";
constexpr const char* kPageEnd = ".htm";
constexpr const char* kRecordEnd = ".rec";
// The record file of a whole folder, as earlier versions wrote it.
constexpr const char* kOldPrefix = ".vornik2html-pages";
constexpr const char* kOldFirstLine = "vornik2html pages 1";

// The rows of one record file of an earlier version; a line that does not parse is left
// out.
void ReadOldFile(TPlatform& platform, const std::string& path,
                 std::map<std::string, TPageRecord>& records) {
    std::string bytes;
    ReadWholeFile(platform, path, bytes);
    std::istringstream in(bytes);
    std::string line;
    if (!std::getline(in, line) || line != kOldFirstLine) return;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() == 4) fields.emplace_back();
        if (fields.size() != 5) continue;
        try {
            TPageRecord r;
            r.Page = names::PercentDecoded(fields[0]);
            r.Document = names::PercentDecoded(fields[1]);
            r.Size = std::stoull(fields[2]);
            r.Pictures = std::stoi(fields[3]);
            r.FirstPicture = names::PercentDecoded(fields[4]);
            r.Old = true;
            records[r.Page] = r;
        } catch (const std::exception&) {
        }
    }
}

// Oldest first, so that a newer file's rows replace an older one's.
void ReadOldFiles(TPlatform& platform, const std::string& folder,
                  const std::vector<std::string>& names,
                  std::map<std::string, TPageRecord>& records) {
    std::vector<std::pair<int64_t, std::string>> files;
    for (const std::string& name : names) {
        if (name.rfind(kOldPrefix, 0) != 0 || name.ends_with(".tmp")) continue;
        const std::string path = names::Join(folder, name);
        const TFileStatus status = platform.Status(path);
        if (status.Exists()) files.emplace_back(status.ModifiedNs, path);
    }
    std::sort(files.begin(), files.end());
    for (const auto& [time, path] : files) ReadOldFile(platform, path, records);
}

}  // namespace

std::string TPageRecords::PathOf(const std::string& folder, const std::string& page) {
    const std::string name =
        page.ends_with(kPageEnd) ? page.substr(0, page.size() - 4) + kRecordEnd : page + kRecordEnd;
    return names::Join(names::Join(folder, kFolder), name);
}

std::string TPageRecords::Text(const TPageRecord& r) {
    std::vector<std::pair<std::string, std::string>> fields = {
        {"page", r.Page},
        {"document", r.Document},
        {"archive", r.Archive},
        {"source", r.Source},
        {"size", std::to_string(r.Size)},
        {"time", std::to_string(r.Time)},
        {"options", r.Options},
        {"pictures", std::to_string(r.Pictures)},
        {"files", records::JoinNames(r.Files)},
    };
    if (r.Gone) fields.emplace_back("gone", "1");
    // Fields of the site's options only where they are used: other records stay as they
    // were written before.
    if (!r.Extras.empty()) fields.emplace_back("extras", records::JoinNames(r.Extras));
    if (!r.FirstLine.empty()) fields.emplace_back("line", r.FirstLine);
    if (!r.Bar.empty()) fields.emplace_back("bar", r.Bar);
    if (r.Made != 0) fields.emplace_back("made", std::to_string(r.Made));
    return records::Header(kKind) + records::Line(fields);
}

std::optional<TPageRecord> TPageRecords::Parse(const std::string& text) {
    const auto entries = records::Entries(text, kKind);
    if (!entries || entries->size() != 1 || !entries->front().contains("page")) return std::nullopt;
    const records::TFields& f = entries->front();
    TPageRecord r;
    r.Page = records::Text(f, "page");
    r.Document = records::Text(f, "document");
    r.Archive = records::Text(f, "archive");
    r.Source = records::Text(f, "source");
    r.Size = records::Number(f, "size");
    r.Time = records::SignedNumber(f, "time");
    r.Options = records::Text(f, "options");
    r.Pictures = static_cast<int>(records::Number(f, "pictures"));
    r.Files = records::SplitNames(records::Text(f, "files"));
    r.FirstPicture = r.Files.empty() ? std::string() : r.Files.front();
    r.Gone = records::Number(f, "gone") != 0;
    r.Extras = records::SplitNames(records::Text(f, "extras"));
    r.FirstLine = records::Text(f, "line");
    r.Bar = records::Text(f, "bar");
    r.Made = records::SignedNumber(f, "made");
    return r;
}

std::optional<TPageRecord> TPageRecords::ReadOne(const std::string& folder, const std::string& page,
                                                 TPlatform& platform) {
    std::string text;
    if (!ReadWholeFile(platform, PathOf(folder, page), text)) return std::nullopt;
    std::optional<TPageRecord> record = Parse(text);
    if (record) record->Page = page;  // the file's name is the page's, whatever it says
    return record;
}

std::map<std::string, TPageRecord> TPageRecords::Read(const std::string& folder,
                                                      TPlatform& platform,
                                                      std::vector<std::string>* unreadable) {
    const std::string at = folder.empty() ? "." : folder;
    std::map<std::string, TPageRecord> records;
    std::vector<std::string> names;
    platform.ListFolder(at, names);
    ReadOldFiles(platform, at, names, records);
    names.clear();
    const std::string own = names::Join(at, kFolder);
    platform.ListFolder(own, names);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        // Temporary files are hidden; the folder's failures are no page's.
        if (name.empty() || name[0] == '.' || !name.ends_with(kRecordEnd)) continue;
        const std::string page = name.substr(0, name.size() - 4) + kPageEnd;
        if (std::optional<TPageRecord> r = ReadOne(at, page, platform))
            records[page] = std::move(*r);
        else if (unreadable)
            unreadable->push_back(names::Join(own, name) + ": not a record of vornik2html");
    }
    return records;
}

void TPageRecords::Stage(TStagedFiles& files, const std::string& folder, const TPageRecord& record,
                         TPlatform& platform) {
    const std::string own = names::Join(folder.empty() ? "." : folder, kFolder);
    if (const int error = platform.MakeFolders(own)) {
        const std::string reason = TPlatform::Reason(error);
        throw EInOutError("Cannot create the folder \"" + own + "\": " + reason, own, reason);
    }
    const std::string path = PathOf(folder.empty() ? "." : folder, record.Page);
    WriteWholeFile(platform, path, files.Stage(path, /*last=*/true), Text(record));
}

void TPageRecords::Write(const std::string& folder, const TPageRecord& record,
                         TPlatform& platform) {
    TStagedFiles staged(platform);
    Stage(staged, folder, record, platform);
    staged.Commit();
}

}  // namespace quill
