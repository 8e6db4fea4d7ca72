#include "png/PieceStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace quill {

void TPieceStream::Append(const uint8_t* data, int64_t size) {
    if (size <= 0) return;
    pieces_.push_back({data, size, size_});
    size_ += size;
}

int64_t TPieceStream::Read(void* buffer, int64_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count && position_ < size_) {
        while (position_ >= pieces_[current_].Start + pieces_[current_].Size) ++current_;
        const TPiece& piece = pieces_[current_];
        const int64_t within = position_ - piece.Start;
        const int64_t n = std::min(count - done, piece.Size - within);
        std::memcpy(out + done, piece.Data + within, static_cast<size_t>(n));
        done += n;
        position_ += n;
    }
    return done;
}

int64_t TPieceStream::Write(const void*, int64_t) {
    throw EStreamError("Stream write error");
}

int64_t TPieceStream::Seek(int64_t offset, int origin) {
    int64_t target = offset;
    if (origin == soCurrent) target += position_;
    if (origin == soEnd) target += size_;
    target = std::clamp<int64_t>(target, 0, size_);
    if (target != position_) {
        position_ = target;
        // The last piece starting at or before the position.
        const auto after =
            std::upper_bound(pieces_.begin(), pieces_.end(), position_,
                             [](int64_t pos, const TPiece& piece) { return pos < piece.Start; });
        current_ = after == pieces_.begin() ? 0 : static_cast<size_t>(after - pieces_.begin() - 1);
    }
    return position_;
}

}  // namespace quill
