#include "png/DecompressionStream.h"

#include <algorithm>
#include <climits>

#include "png/Adler32.h"
#include "png/ZlibError.h"

namespace quill {

TDecompressionStream::TDecompressionStream(TStream& source, const TProcessorFeatures& features)
    : TCustomZlibStream(source), features_(features) {
    zrec_.next_in = buffer_.get();
    zrec_.avail_in = 0;
    DecompressionCheck(inflateInit(&zrec_));
    // zlib sums the inflated bytes a byte at a time; Inflate checks them several times
    // faster.
    DecompressionCheck(inflateValidate(&zrec_, 0));
}

TDecompressionStream::~TDecompressionStream() {
    try {
        if (zrec_.avail_in > 0) source_.Seek(-static_cast<int64_t>(zrec_.avail_in), soCurrent);
    } catch (...) {
        // A destructor cannot report; the source is only left where it stands.
    }
    inflateEnd(&zrec_);
}

int64_t TDecompressionStream::ReadPiece(uint8_t* buffer, uInt count, bool& ended) {
    zrec_.next_out = buffer;
    zrec_.avail_out = count;
    while (zrec_.avail_out > 0) {
        if (zrec_.avail_in == 0) {
            lastIn_ = LastFourIn();  // the trailer may begin in this buffer
            const int64_t got = source_.Read(buffer_.get(), kInputBufferSize);
            zrec_.next_in = buffer_.get();
            zrec_.avail_in = static_cast<uInt>(got);
            sourcePos_ = source_.Position();
            Progress();
        }
        const uInt inBefore = zrec_.avail_in;
        const uInt outBefore = zrec_.avail_out;
        const int code = CompressionCheck(Inflate());
        if (code == Z_STREAM_END) {
            ended = true;
            break;
        }
        // A preset dictionary cannot be supplied here, and a call that moved nothing
        // would be repeated for ever: both are broken data.
        if (code == Z_NEED_DICT) throw ECompressionError(kZlibError);
        if (zrec_.avail_in == inBefore && zrec_.avail_out == outBefore)
            throw ECompressionError(kZlibError);
    }
    return count - zrec_.avail_out;
}

// zlib's inflate with the check of the data done here: over the bytes each call writes,
// and against the stream's trailer when it ends. A mismatch answers what zlib's own check
// answers, Z_DATA_ERROR from that call and from every later one until a restart.
int TDecompressionStream::Inflate() {
    if (mismatch_) return Z_DATA_ERROR;
    uint8_t* const out = zrec_.next_out;
    const int code = inflate(&zrec_, Z_NO_FLUSH);
    if (zrec_.next_out != out)
        adler_ = Adler32(adler_, out, static_cast<size_t>(zrec_.next_out - out), features_);
    if (code == Z_STREAM_END && !checked_) {
        checked_ = true;
        mismatch_ = LastFourIn() != adler_;
        if (mismatch_) return Z_DATA_ERROR;
    }
    return code;
}

// The last four bytes consumed, the first in the most significant byte. At the end of the
// stream they are its Adler-32: zlib reads it last, from a byte boundary, and nothing
// after it.
uint32_t TDecompressionStream::LastFourIn() const {
    const auto used = static_cast<size_t>(zrec_.next_in - buffer_.get());
    uint32_t last = lastIn_;
    for (size_t i = used - std::min<size_t>(used, 4); i < used; ++i)
        last = (last << 8) | buffer_[i];
    return last;
}

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (source_.Position() != sourcePos_) source_.SetPosition(sourcePos_);
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
    throw EDecompressionError(kInvalidStreamOp);
}

int64_t TDecompressionStream::Seek(int64_t offset, int origin) {
    const auto position = static_cast<int64_t>(zrec_.total_out);
    if (offset == 0 && origin == soBeginning) {
        DecompressionCheck(inflateReset(&zrec_));
        DecompressionCheck(inflateValidate(&zrec_, 0));
        adler_ = 1;
        lastIn_ = 0;
        checked_ = false;
        mismatch_ = false;
        zrec_.next_in = buffer_.get();
        zrec_.avail_in = 0;
        source_.SetPosition(0);
        sourcePos_ = 0;
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
        throw EDecompressionError(kInvalidStreamOp);
    }
    return static_cast<int64_t>(zrec_.total_out);
}

}  // namespace quill
