#include "png/DeflateBuffer.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

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

// A stream kept for the next picture at its level. Making one costs more than a small
// picture's whole compression (zlib allocates and clears about 270 KiB of tables), and a
// reset one compresses exactly as a new one does.
class TKeptStream {
  public:
    explicit TKeptStream(int level) {
        stream_.zalloc = ZlibAllocMem;
        stream_.zfree = ZlibFreeMem;
        CompressionCheck(deflateInit(&stream_, level));
    }
    TKeptStream(const TKeptStream&) = delete;
    TKeptStream& operator=(const TKeptStream&) = delete;
    ~TKeptStream() { deflateEnd(&stream_); }
    z_stream& Stream() { return stream_; }

  private:
    z_stream stream_{};
};

// The kept streams of all threads, a shelf a level. They are not kept per thread: a
// thread's own objects are ended as it exits, and the Windows runtime may free the
// thread's storage before it ends them, so ending a stream there wrote to freed memory.
// Every worker is joined before the program ends, so the shelf outlives its users. A
// thread takes a stream for one picture and puts it back only when the compression ended
// well; one whose use failed goes.
class TStreamShelf {
  public:
    std::unique_ptr<TKeptStream> Take(int level) {
        {
            const std::lock_guard<std::mutex> hold(mutex_);
            auto& kept = shelves_[Index(level)];
            if (!kept.empty()) {
                std::unique_ptr<TKeptStream> stream = std::move(kept.back());
                kept.pop_back();
                if (deflateReset(&stream->Stream()) == Z_OK) return stream;
            }
        }
        return std::make_unique<TKeptStream>(level);
    }
    void Put(int level, std::unique_ptr<TKeptStream> stream) {
        const std::lock_guard<std::mutex> hold(mutex_);
        shelves_[Index(level)].push_back(std::move(stream));
    }

  private:
    static size_t Index(int level) {
        return static_cast<size_t>(level < 0 ? 6 : std::min(level, 9));
    }
    std::mutex mutex_;
    std::array<std::vector<std::unique_ptr<TKeptStream>>, 10> shelves_;
};

}  // namespace

void DeflateBuffer(const void* inBuf, int64_t inBytes, TZlibBlock& outBuf, int64_t& outBytes,
                   int level) {
    static TStreamShelf shelf;

    int64_t outSize = DeflateOutputEstimate(inBytes);
    TZlibBlock out(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(outSize))));
    if (!out) throw EOutOfMemory("Out of memory");
    AdviseHugePages(out.get(), outSize);  // a whole image's worth: fault it in cheaply

    std::unique_ptr<TKeptStream> kept = shelf.Take(level);
    z_stream& zrec = kept->Stream();
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
    outBytes = static_cast<int64_t>(zrec.total_out);
    shelf.Put(level, std::move(kept));

    if (outBytes > 0 && outBytes < outSize) Grow(out, outBytes);
    outBuf = std::move(out);
}

}  // namespace quill
