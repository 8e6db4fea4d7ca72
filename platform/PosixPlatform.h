#pragma once

#include "platform/Platform.h"

namespace quill {

// The platform of Linux and the other POSIX systems.
class TPosixPlatform : public TPlatform {
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
};

}  // namespace quill
