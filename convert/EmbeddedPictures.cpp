#include "convert/EmbeddedPictures.h"

#include <cstring>
#include <string_view>

#include "platform/Base64.h"
#include "platform/Exception.h"
#include "platform/RecordFile.h"

namespace quill {

namespace {

constexpr char kMarkByte = 1;

}  // namespace

std::string TEmbeddedPictures::Mark(int n) {
    return kMarkByte + std::to_string(n) + kMarkByte;
}

std::string TEmbeddedPictures::DataUri(const uint8_t* data, size_t size, bool bmp) {
    return (bmp ? "data:image/bmp;base64," : "data:image/png;base64,") + Base64Encode(data, size);
}

void TEmbeddedPictures::Keep(int n, std::string uri) {
    if (uris_.size() <= static_cast<size_t>(n)) uris_.resize(static_cast<size_t>(n) + 1);
    uris_[static_cast<size_t>(n)] = std::move(uri);
}

void TEmbeddedPictures::WritePage(TRecordFile& draft, TRecordFile& page) const {
    std::string number;  // digits of a mark being read, which may go on past a refill
    bool inMark = false;
    for (std::string_view ahead = draft.Buffered(); !ahead.empty(); ahead = draft.Buffered()) {
        const size_t size = ahead.size();
        while (!ahead.empty()) {
            const size_t at = ahead.find(kMarkByte);
            const std::string_view piece = ahead.substr(0, at);
            if (inMark) {
                number += piece;
            } else {
                page.Write(piece);
            }
            if (at == std::string_view::npos) break;
            if (inMark) {
                const size_t n = std::stoul(number);
                if (n >= uris_.size() || uris_[n].empty())
                    throw EInOutError("Cannot write \"" + page.FileName() + "\": picture " +
                                      number + " was not made");
                page.Write(uris_[n]);
                number.clear();
            }
            inMark = !inMark;
            ahead.remove_prefix(at + 1);
        }
        draft.Consume(size);
    }
}

}  // namespace quill
