#include "platform/JsonText.h"

#include <cstdint>

namespace quill::json {

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Four hex digits at text[at], or -1.
int32_t Hex4(std::string_view text, size_t at) {
    if (at + 4 > text.size()) return -1;
    int32_t v = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const char c = text[i];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return -1;
        v = v << 4 | d;
    }
    return v;
}

// The string whose opening quote is at text[pos]: its text, pos then past its closing
// quote; nullopt when it does not end.
std::optional<std::string> ReadString(std::string_view text, size_t& pos) {
    std::string out;
    for (size_t i = pos + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                int32_t c1 = Hex4(text, i + 1);
                if (c1 < 0) return std::nullopt;
                i += 4;
                // A surrogate pair is one character.
                if (c1 >= 0xD800 && c1 < 0xDC00 && i + 2 < text.size() && text[i + 1] == '\\' &&
                    text[i + 2] == 'u') {
                    const int32_t c2 = Hex4(text, i + 3);
                    if (c2 >= 0xDC00 && c2 < 0xE000) {
                        c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                        i += 6;
                    }
                }
                AppendUtf8(out, static_cast<uint32_t>(c1));
                break;
            }
            default:
                out += text[i];  // " \ /
        }
    }
    return std::nullopt;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::string Quoted(std::string_view s) {
    std::string out;
    AppendQuoted(out, s);
    return out;
}

void AppendQuoted(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.reserve(out.size() + s.size() + 2);
    out += '"';
    for (const char c : s) {
        const auto b = static_cast<uint8_t>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::optional<std::string> Member(std::string_view text, std::string_view key) {
    for (size_t pos = 0; pos < text.size();) {
        if (text[pos] != '"') {
            ++pos;
            continue;
        }
        const std::optional<std::string> name = ReadString(text, pos);
        if (!name) return std::nullopt;
        size_t at = pos;
        while (at < text.size() && IsSpace(text[at])) ++at;
        if (at >= text.size() || text[at] != ':' || *name != key) continue;
        ++at;
        while (at < text.size() && IsSpace(text[at])) ++at;
        if (at < text.size() && text[at] == '"') return ReadString(text, at);
        const size_t end = text.find_first_of(",}] \t\r\n", at);
        const std::string_view value =
            text.substr(at, end == std::string_view::npos ? end : end - at);
        if (value.empty() || value[0] == '{' || value[0] == '[') return std::nullopt;
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace quill::json
