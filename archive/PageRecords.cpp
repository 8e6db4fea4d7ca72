#include "archive/PageRecords.h"

#include <algorithm>
#include <sstream>

#include "convert/DocumentNames.h"
#include "platform/Exception.h"
#include "platform/StagedFiles.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

constexpr const char* kPrefix = ".vornik2html-pages";
constexpr const char* kFirstLine = "vornik2html pages 1";

// Fields are separated by tabs and records by line ends, so names keep those escaped.
std::string Escape(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            static const char* digits = "0123456789ABCDEF";
            out += '%';
            out += digits[static_cast<unsigned char>(c) >> 4];
            out += digits[static_cast<unsigned char>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The records of one file; a line that does not parse is left out.
void ReadFile(TPlatform& platform, const std::string& path,
              std::map<std::string, TPageRecord>& records) {
    std::string bytes;
    ReadWholeFile(platform, path, bytes);
    std::istringstream in(bytes);
    std::string line;
    if (!std::getline(in, line) || line != kFirstLine) return;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() == 4) fields.emplace_back();
        if (fields.size() != 5) continue;
        try {
            TPageRecord r{Unescape(fields[0]), Unescape(fields[1]), std::stoull(fields[2]),
                          std::stoi(fields[3]), Unescape(fields[4])};
            records[r.Page] = r;
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

std::string TPageRecords::FileName(const std::string& suffix) {
    return kPrefix + suffix;
}

std::map<std::string, TPageRecord> TPageRecords::Read(const std::string& folder,
                                                      TPlatform& platform) {
    // Oldest first, so that a newer file's records replace an older one's.
    std::vector<std::pair<int64_t, std::string>> files;
    std::vector<std::string> names;
    platform.ListFolder(folder.empty() ? "." : folder, names);
    for (const std::string& name : names) {
        if (name.rfind(kPrefix, 0) != 0 || name.ends_with(".tmp")) continue;
        const std::string path = names::Join(folder.empty() ? "." : folder, name);
        const TFileStatus status = platform.Status(path);
        if (status.Exists()) files.emplace_back(status.ModifiedNs, path);
    }
    std::sort(files.begin(), files.end());
    std::map<std::string, TPageRecord> records;
    for (const auto& [time, path] : files) ReadFile(platform, path, records);
    return records;
}

void TPageRecords::Update(const std::string& folder, const std::string& fileName,
                          const std::vector<TPageRecord>& records, TPlatform& platform) {
    const std::string path = names::Join(folder, fileName);
    std::map<std::string, TPageRecord> all;
    ReadFile(platform, path, all);
    for (const TPageRecord& r : records) all[r.Page] = r;
    std::ostringstream out;
    out << kFirstLine << '\n';
    for (const auto& [page, r] : all)
        out << Escape(r.Page) << '\t' << Escape(r.Document) << '\t' << r.Size << '\t' << r.Pictures
            << '\t' << Escape(r.FirstPicture) << '\n';
    TStagedFiles staged(platform);
    WriteWholeFile(platform, path, staged.Stage(path), out.str());
    staged.Commit();
}

}  // namespace quill
