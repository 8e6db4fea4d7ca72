#include "archive/PageRecorder.h"

#include <chrono>

#include "convert/DocumentNames.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

// Whether the file at path holds what the file written at written holds.
bool SameBytes(TPlatform& platform, const std::string& path, const std::string& written) {
    if (!platform.Status(path).IsFile()) return false;
    std::string a, b;
    return ReadWholeFile(platform, path, a) && ReadWholeFile(platform, written, b) && a == b;
}

}  // namespace

void TPageRecorder::BeforeCommit(TStagedFiles& files, const std::vector<TWrittenFile>& written,
                                 int pictures) {
    record_.Pictures = pictures;
    record_.Files.clear();
    for (size_t i = 0; i + 1 < written.size(); ++i)
        record_.Files.emplace_back(names::FileName(written[i].Name));
    record_.FirstPicture = record_.Files.empty() ? std::string() : record_.Files.front();
    record_.Gone = false;
    std::vector<TWrittenFile> all = written;
    if (site_.Any()) {
        record_.Extras.clear();
        for (const TWrittenFile& file :
             site_.Stage(files, document_, folder_, platform_, &record_.FirstLine)) {
            record_.Extras.emplace_back(names::FileName(file.Name));
            if (!file.Path.empty()) all.push_back(file);
        }
        record_.Made = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    }
    if (compare_) {
        inPlace_ = true;
        for (const TWrittenFile& file : all)
            inPlace_ = inPlace_ && SameBytes(platform_, file.Name, file.Path);
    }
    TPageRecords::Stage(files, folder_, record_, platform_);
}

}  // namespace quill
