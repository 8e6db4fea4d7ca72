#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/Stream.h"

namespace quill {

enum TFileMode {
    fmCreate,     // create (or empty) the file, then read and write it
    fmOpenRead,   // an existing file, read only
    fmOpenWrite,  // an existing file, write only, kept as it is
};

// A stream over an operating-system file. Failures to open or create the file raise
// EFOpenError / EFCreateError whose message names the file and the system's reason.
class TFileStream : public TStream {
  public:
    TFileStream(const std::string& fileName, TFileMode mode,
                TPlatform& platform = TPlatform::Real());
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    void SetSize(int64_t size) override;

    // Closes the file, checked: a system that reports a failed write only now raises
    // EWriteError naming the file. The destructor closes an open file unchecked.
    void Close();

    const std::string& FileName() const { return fileName_; }

  protected:
    [[noreturn]] void FailWrite() override;

  private:
    std::string fileName_;
    std::unique_ptr<TOpenFile> file_;
    int writeError_ = 0;  // why the last short write stopped, if the system said
};

}  // namespace quill
