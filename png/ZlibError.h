#pragma once

#include "platform/Exception.h"

namespace quill {

// Failures of the compression layer. Callers may catch EZlibError for all of them.
class EZlibError : public Exception {
  public:
    using Exception::Exception;
};
class ECompressionError : public EZlibError {
  public:
    using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
  public:
    using EZlibError::EZlibError;
};

// The layer's two messages. zlib's own message text is deliberately not passed on.
inline constexpr const char* kZlibError = "error";
inline constexpr const char* kInvalidStreamOp = "Invalid stream operation";

// Answer code when it is 0 or more (zlib's success and informational codes);
// otherwise raise ECompressionError / EDecompressionError with "error".
int CompressionCheck(int code);
int DecompressionCheck(int code);

}  // namespace quill
