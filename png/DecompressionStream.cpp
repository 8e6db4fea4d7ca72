#include "png/DecompressionStream.h"

#include <algorithm>
#include <climits>

#include "png/ZlibError.h"

namespace quill {

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZlibStream(source) {
    FZRec.next_in = FBuffer.get();
    FZRec.avail_in = 0;
    DecompressionCheck(inflateInit(&FZRec));
}

TDecompressionStream::~TDecompressionStream() {
    try {
        if (FZRec.avail_in > 0) FStrm.Seek(-static_cast<int64_t>(FZRec.avail_in), soCurrent);
    } catch (...) {
        // A destructor cannot report; the source is only left where it stands.
    }
    inflateEnd(&FZRec);
}

int64_t TDecompressionStream::ReadPiece(uint8_t* buffer, uInt count, bool& ended) {
    FZRec.next_out = buffer;
    FZRec.avail_out = count;
    while (FZRec.avail_out > 0) {
        if (FZRec.avail_in == 0) {
            const int64_t got = FStrm.Read(FBuffer.get(), kInputBufferSize);
            FZRec.next_in = FBuffer.get();
            FZRec.avail_in = static_cast<uInt>(got);
            FStrmPos = FStrm.Position();
            Progress();
        }
        const uInt inBefore = FZRec.avail_in;
        const uInt outBefore = FZRec.avail_out;
        const int code = CompressionCheck(inflate(&FZRec, Z_NO_FLUSH));
        if (code == Z_STREAM_END) {
            ended = true;
            break;
        }
        // A preset dictionary cannot be supplied here, and a call that moved nothing
        // would be repeated for ever: both are broken data.
        if (code == Z_NEED_DICT) throw ECompressionError(sZlibError);
        if (FZRec.avail_in == inBefore && FZRec.avail_out == outBefore)
            throw ECompressionError(sZlibError);
    }
    return count - FZRec.avail_out;
}

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (FStrm.Position() != FStrmPos) FStrm.SetPosition(FStrmPos);
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    bool ended = false;
    // zlib counts in 32 bits; larger requests are served piece by piece.
    while (done < count && !ended) {
        const auto piece = static_cast<uInt>(std::min<int64_t>(count - done, INT_MAX));
        done += ReadPiece(out + done, piece, ended);
    }
    return done;
}

int64_t TDecompressionStream::Write(const void*, int64_t) {
    throw EDecompressionError(sInvalidStreamOp);
}

int64_t TDecompressionStream::Seek(int64_t offset, int origin) {
    const auto position = static_cast<int64_t>(FZRec.total_out);
    if (offset == 0 && origin == soBeginning) {
        DecompressionCheck(inflateReset(&FZRec));
        FZRec.next_in = FBuffer.get();
        FZRec.avail_in = 0;
        FStrm.SetPosition(0);
        FStrmPos = 0;
    } else if ((offset >= 0 && origin == soCurrent) ||
               (origin == soBeginning && offset - position > 0)) {
        if (origin == soBeginning) offset -= position;
        if (offset > 0) {
            uint8_t discard[4096];
            const auto piece = static_cast<int64_t>(sizeof discard);
            for (int64_t i = 0; i < offset / piece; ++i) ReadBuffer(discard, piece);
            ReadBuffer(discard, offset % piece);
        }
    } else {
        throw EDecompressionError(sInvalidStreamOp);
    }
    return static_cast<int64_t>(FZRec.total_out);
}

}  // namespace quill
