#pragma once

#include "platform/ProcessorFeatures.h"
#include "png/CustomZlibStream.h"

namespace quill {

// A read-only stream that inflates a zlib stream read from its source. Its position
// is the number of bytes delivered so far. Only forward seeks and a restart from the
// beginning are possible; Write and backward seeks raise "Invalid stream operation".
class TDecompressionStream : public TCustomZlibStream {
  public:
    // Raises EDecompressionError "error" when the inflater cannot start. The inflated
    // bytes are checked by the widest way that `features` allow.
    explicit TDecompressionStream(TStream& source,
                                  const TProcessorFeatures& features = ProcessorFeatures());
    // Moves the source back by the input read but not consumed, so that it stands just
    // after the compressed bytes used.
    ~TDecompressionStream() override;

    // Answers the bytes delivered: fewer than count when the compressed data end first,
    // 0 after the end. Corrupt, truncated or dictionary-bound data raise
    // ECompressionError "error".
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;

  private:
    int64_t ReadPiece(uint8_t* buffer, uInt count, bool& ended);
    int Inflate();
    uint32_t LastFourIn() const;

    const TProcessorFeatures& features_;
    uint32_t adler_ = 1;     // the Adler-32 of the bytes inflated so far
    uint32_t lastIn_ = 0;    // LastFourIn of the input buffers before this one
    bool checked_ = false;   // the end of the stream was reached and its trailer compared
    bool mismatch_ = false;  // ...and it did not match
};

}  // namespace quill
