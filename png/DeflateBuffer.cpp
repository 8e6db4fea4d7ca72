#include "png/DeflateBuffer.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "platform/Exception.h"
#include "platform/LargeBlock.h"
#include "png/ZlibAlloc.h"
#include "png/ZlibError.h"

namespace quill {

int64_t DeflateOutputEstimate(int64_t inBytes) {
    return (inBytes + inBytes / 10 + 12 + 255) & ~int64_t{255};
}

namespace {

// zlib counts in 32-bit units; larger blocks are handed over in pieces of this size.
constexpr int64_t kZlibPiece = int64_t{1} << 30;

uint8_t* Grow(TZlibBlock& block, int64_t size) {
    void* moved = std::realloc(block.get(), static_cast<size_t>(size));
    if (moved == nullptr) throw EOutOfMemory("Out of memory");
    block.release();
    block.reset(static_cast<uint8_t*>(moved));
    return block.get();
}

// A stream kept for the thread's next picture at its level. Making one costs more than a
// small picture's whole compression (zlib allocates and clears about 270 KiB of tables),
// and a reset one compresses exactly as a new one does. A stream whose use failed is not
// kept.
class TThreadStream {
  public:
    ~TThreadStream() {
        if (ready_) deflateEnd(&stream_);
    }
    // Ready for a new compression; raises the compression error when it cannot be made.
    z_stream& Take(int level) {
        if (ready_ && level != level_) {
            ready_ = false;
            deflateEnd(&stream_);
        }
        if (ready_) {
            ready_ = false;
            if (deflateReset(&stream_) == Z_OK) return stream_;
            deflateEnd(&stream_);
        }
        std::memset(&stream_, 0, sizeof stream_);
        stream_.zalloc = ZlibAllocMem;
        stream_.zfree = ZlibFreeMem;
        CompressionCheck(deflateInit(&stream_, level));
        level_ = level;
        return stream_;
    }
    // The compression ended well: the stream may serve the next one.
    void Keep() { ready_ = true; }
    // It did not: the stream goes.
    void Drop() { deflateEnd(&stream_); }

  private:
    z_stream stream_{};
    bool ready_ = false;
    int level_ = 0;
};

}  // namespace

void DeflateBuffer(const void* inBuf, int64_t inBytes, TZlibBlock& outBuf, int64_t& outBytes,
                   int level) {
    // One stream a level: a thread that makes faces between its pictures (two levels) keeps
    // both instead of making each anew in turn.
    thread_local std::array<TThreadStream, 10> streams;
    TThreadStream& cached = streams[static_cast<size_t>(level < 0 ? 6 : std::min(level, 9))];

    int64_t outSize = DeflateOutputEstimate(inBytes);
    TZlibBlock out(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(outSize))));
    if (!out) throw EOutOfMemory("Out of memory");
    AdviseHugePages(out.get(), outSize);  // a whole image's worth: fault it in cheaply

    z_stream& zrec = cached.Take(level);
    const auto* in = static_cast<const uint8_t*>(inBuf);
    int64_t inLeft = inBytes;
    int64_t outFree = outSize;  // bytes of the block after next_out
    auto feed = [&] {
        const int64_t piece = std::min(inLeft, kZlibPiece);
        zrec.next_in = const_cast<Bytef*>(in + (inBytes - inLeft));
        zrec.avail_in = static_cast<uInt>(piece);
        inLeft -= piece;
    };
    auto room = [&] {
        const int64_t piece = std::min(outFree, kZlibPiece);
        zrec.avail_out = static_cast<uInt>(piece);
        outFree -= piece;
    };

    try {
        feed();
        zrec.next_out = out.get();
        room();
        for (;;) {
            const int flush = inLeft > 0 ? Z_NO_FLUSH : Z_FINISH;
            if (CompressionCheck(deflate(&zrec, flush)) == Z_STREAM_END) break;
            if (zrec.avail_in == 0 && inLeft > 0) feed();
            if (zrec.avail_out == 0) {
                if (outFree == 0) {
                    // Output block full: grow it by 256 bytes, keeping what is written.
                    const int64_t written = outSize;
                    outSize += 256;
                    zrec.next_out = Grow(out, outSize) + written;
                    outFree = 256;
                }
                room();
            }
        }
    } catch (...) {
        cached.Drop();
        throw;
    }
    cached.Keep();

    outBytes = static_cast<int64_t>(zrec.total_out);
    if (outBytes > 0 && outBytes < outSize) Grow(out, outBytes);
    outBuf = std::move(out);
}

}  // namespace quill
