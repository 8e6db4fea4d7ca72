#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Stream.h"

namespace quill {

// Base of the zlib streams: the source stream (not owned), where in it the next read
// continues, the zlib record and a 64 KiB input buffer.
class TCustomZlibStream : public TStream {
  public:
    static constexpr int64_t kInputBufferSize = 65536;

    ~TCustomZlibStream() override;
    TCustomZlibStream(const TCustomZlibStream&) = delete;
    TCustomZlibStream& operator=(const TCustomZlibStream&) = delete;

    // Called (with this stream as sender) each time the input buffer is refilled.
    std::function<void(TCustomZlibStream& sender)> RefillNotify;

  protected:
    explicit TCustomZlibStream(TStream& source);
    // The progress notification; calls RefillNotify when it is set.
    virtual void Progress();

    TStream& source_;
    int64_t sourcePos_;
    z_stream zrec_;
    std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace quill
