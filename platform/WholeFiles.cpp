#include "platform/WholeFiles.h"

#include <algorithm>
#include <memory>

#include "platform/RecordFile.h"

namespace quill {

bool ReadWholeFile(TPlatform& platform, const std::string& path, std::string& bytes, size_t limit) {
    bytes.clear();
    int error = 0;
    const std::unique_ptr<TOpenFile> file = platform.Open(path, TOpenMode::Read, error);
    if (!file || !file->Status().IsFile()) return false;
    char buffer[16384];
    while (bytes.size() < limit) {
        const int64_t n = file->Read(buffer, std::min(sizeof buffer, limit - bytes.size()), error);
        if (n < 0) return false;
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

void WriteWholeFile(TPlatform& platform, const std::string& fileName, const std::string& path,
                    std::string_view bytes) {
    TRecordFile file(platform);
    file.Assign(fileName, path);
    file.Rewrite();
    file.Write(bytes);
    file.Close();
}

}  // namespace quill
