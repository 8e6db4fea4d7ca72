#include "archive/TextSniff.h"

#include "platform/WholeFiles.h"

namespace quill {

namespace {

// Valid UTF-8 with at least one multi-byte sequence; a sequence cut off by the end of
// head counts as valid.
bool IsMultiByteUtf8(std::string_view s) {
    bool multiByte = false;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t length = c < 0x80                ? 1
                              : c >= 0xC2 && c < 0xE0 ? 2
                              : c >= 0xE0 && c < 0xF0 ? 3
                              : c >= 0xF0 && c < 0xF5 ? 4
                                                      : 0;
        if (length == 0) return false;
        for (size_t k = 1; k < length && i + k < s.size(); ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        multiByte = multiByte || length > 1;
        i += length;
    }
    return multiByte;
}

}  // namespace

std::string LooksLikeOtherText(std::string_view head) {
    if (IsMultiByteUtf8(head)) return "a UTF-8 text file";
    if (head.find('\n') != std::string_view::npos && head.find('\r') == std::string_view::npos)
        return "a text file with LF line ends";
    return "";
}

std::string DocumentHead(TPlatform& platform, const std::string& path) {
    std::string head;
    if (platform.Status(path).IsFile()) ReadWholeFile(platform, path, head, 4096);
    return head;
}

}  // namespace quill
