#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quill {

// A platform in memory, for tests and fuzzing: folders, files and links as a tree, with
// the errors a real system gives (ENOENT, ENOTDIR, EISDIR, EEXIST, ELOOP, EACCES...) and
// faults that no real file system offers on demand (a full disk, a failing close, a
// folder that can be listed but not entered). Every file's modification time is a tick
// of its own clock, so a file written later is always newer. Safe from any thread.
class TMemoryPlatform : public TPlatform {
  public:
    TMemoryPlatform();
    ~TMemoryPlatform() override;

    // What a fault may be asked for: answer an error number to fail that call with it, or
    // 0 to let it go on.
    enum class TCall { Open, Write, Close, Rename, Remove, MakeFolder, List, Status };
    using TFault = std::function<int(TCall call, const std::string& path)>;
    void SetFault(TFault fault);
    // Bytes all files may hold together; a write beyond fails with ENOSPC.
    void SetCapacity(uint64_t bytes);
    // A folder whose names can be listed but not looked at or opened (a folder of mode
    // r-- for its user), or one that cannot be listed either.
    void Lock(const std::string& folder, bool listable);
    // A file or folder that this process may not write.
    void MakeReadOnly(const std::string& path);
    // The longest path one call takes, in bytes with the final zero: Linux's PATH_MAX,
    // 4096, by default. A longer path is reached folder by folder and answers as any
    // other, as the POSIX platform answers it; reachedBeyond false makes it fail with
    // ENAMETOOLONG instead, as a system that cannot reach past its limit would.
    void SetPathLimit(size_t bytes, bool reachedBeyond);
    void SetCurrentFolder(const std::string& folder) { current_ = folder; }
    void SetProcessorCount(unsigned count) { processors_ = count; }

    // Test helpers, outside the faults: make folders as needed.
    void WriteFile(const std::string& path, const std::string& bytes);
    void MakeLink(const std::string& path, const std::string& target);
    // A file's bytes ("" when there is none).
    std::string ReadFile(const std::string& path);
    // Every file and link below folder, by path relative to it: a file's bytes, or
    // "-> TARGET" for a link.
    std::map<std::string, std::string> Files(const std::string& folder = "/");
    const std::string& StandardOutput() const { return stdout_; }

    std::unique_ptr<TOpenFile> Open(const std::string& path, TOpenMode mode, int& error) override;
    TFileStatus Status(const std::string& path, bool followLinks) override;
    int ReadLink(const std::string& path, std::string& target) override;
    int CheckWritable(const std::string& path) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Remove(const std::string& path) noexcept override;
    int MakeFolder(const std::string& path) override;
    int ListFolder(const std::string& path, std::vector<std::string>& names) override;
    std::string CurrentFolder() override { return current_; }
    std::string TemporaryFolder() override { return "/tmp"; }
    int WriteStandardOutput(const void* data, size_t size) override;
    unsigned ProcessorCount() override { return processors_; }
    double Now() override;

    struct TNode;

  private:
    class TFile;
    struct TWhere;
    // With the lock held: where path leads. Links on the way are followed, the last one
    // only when followLast.
    TWhere Find(const std::string& path, bool followLast) const;
    int Faulty(TCall call, const std::string& path) const;
    std::shared_ptr<TNode> MakeNode(int kind);
    void Touch(TNode& node);
    TFileStatus StatusOf(const TNode& node) const;

    mutable std::mutex lock_;
    std::shared_ptr<TNode> root_;
    TFault fault_;
    uint64_t capacity_ = ~uint64_t{0};
    size_t pathLimit_ = 4096;
    bool reachedBeyond_ = true;
    uint64_t used_ = 0;  // bytes of all files
    uint64_t nextInode_ = 1;
    int64_t clock_ = 0;
    std::string current_ = "/";
    unsigned processors_ = 2;
    std::string stdout_;
};

}  // namespace quill
