#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace quill {

// Root of every failure the system raises. The message is what a person sees. A failure
// of one file also carries that file's name and the bare reason, so that a caller can
// tell whose failure it is, or name the file differently, without reading the message.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message, std::string fileName = {},
                       std::string reason = {})
        : std::runtime_error(message), fileName_(std::move(fileName)), reason_(std::move(reason)) {}
    std::string Message() const { return what(); }
    // The file the failure is about, as the caller named it; empty when none.
    const std::string& FileName() const { return fileName_; }
    // Why, without the file: the system's reason ("No space left on device"); empty
    // when the message is all there is.
    const std::string& Reason() const { return reason_; }

  private:
    std::string fileName_;
    std::string reason_;
};

// Stream failures: a short read or write, or a file that cannot be opened or created.
class EStreamError : public Exception {
  public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

// The input/output check of the record files: every failed file operation of a run.
class EInOutError : public Exception {
  public:
    using Exception::Exception;
};

// Memory that cannot be had.
class EOutOfMemory : public Exception {
  public:
    using Exception::Exception;
};

}  // namespace quill
