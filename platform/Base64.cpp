#include "platform/Base64.h"

namespace quill {

namespace {

constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t size) {
    std::string out;
    AppendBase64(out, data, size);
    return out;
}

void AppendBase64(std::string& out, const uint8_t* data, size_t size) {
    out.reserve(out.size() + (size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out += kDigits[v >> shift & 63];
    }
    if (i < size) {
        const uint32_t v =
            uint32_t{data[i]} << 16 | (i + 1 < size ? uint32_t{data[i + 1]} << 8 : 0);
        out += kDigits[v >> 18 & 63];
        out += kDigits[v >> 12 & 63];
        out += i + 1 < size ? kDigits[v >> 6 & 63] : '=';
        out += '=';
    }
}

std::optional<std::string> Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int d = k >= 4 - padding ? 0 : DigitValue(text[i + k]);
            if (d < 0) return std::nullopt;
            v = v << 6 | static_cast<uint32_t>(d);
        }
        out += static_cast<char>(v >> 16);
        if (padding < 2) out += static_cast<char>(v >> 8 & 0xFF);
        if (padding < 1) out += static_cast<char>(v & 0xFF);
    }
    return out;
}

}  // namespace quill
