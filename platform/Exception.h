#pragma once

#include <stdexcept>
#include <string>

namespace quill {

// Root of every failure the system raises. The message is what a person sees.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
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
