#pragma once

#include <mutex>
#include <unordered_map>

#include "platform/Platform.h"

namespace quill {

// The platform of Windows: UTF-8 names inside, UTF-16 at the API, "/" or "\" between
// folders. Files are put in place by MoveFileExW, names Windows does not allow fail
// with kForbiddenName before anything is made, and a file's identity is its volume's
// serial number and its file index.
class TWindowsPlatform : public TPlatform {
  public:
    std::unique_ptr<TOpenFile> Open(const std::string& path, TOpenMode mode, int& error) override;
    TFileStatus Status(const std::string& path, bool followLinks) override;
    int ReadLink(const std::string& path, std::string& target) override;
    int CheckWritable(const std::string& path) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Remove(const std::string& path) noexcept override;
    int MakeFolder(const std::string& path) override;
    int ListFolder(const std::string& path, std::vector<std::string>& names) override;
    std::string CurrentFolder() override;
    std::string TemporaryFolder() override;
    int WriteStandardOutput(const void* data, size_t size) override;
    unsigned ProcessorCount() override;
    double Now() override;
    std::optional<std::string> SystemFileKey(const std::string& path) override;
    std::string KeyName(std::string_view name) override;

  private:
    // The key of a folder, by its full path as given: resolved once.
    std::wstring FolderKey(const std::wstring& folder);
    std::mutex keysLock_;
    std::unordered_map<std::wstring, std::wstring> folderKeys_;
};

}  // namespace quill
