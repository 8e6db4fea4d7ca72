#include "convert/MarkupNames.h"

#include <cstdint>
#include <cstring>

#include "convert/ModernPage.h"
#include "convert/PageLiterals.h"

namespace quill::names {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void PercentEncode(std::string& out, uint8_t b) {
    out += '%';
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

}  // namespace

size_t Utf8Length(std::string_view s) {
    if (s.empty()) return 0;
    const auto at = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t b = at(0);
    size_t n = b < 0x80                ? 1
               : b >= 0xC2 && b < 0xE0 ? 2
               : b >= 0xE0 && b < 0xF0 ? 3
               : b >= 0xF0 && b < 0xF5 ? 4
                                       : 0;
    if (n == 0 || n > s.size()) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((at(i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((b == 0xE0 && at(1) < 0xA0) || (b == 0xED && at(1) >= 0xA0) ||
        (b == 0xF0 && at(1) < 0x90) || (b == 0xF4 && at(1) >= 0x90))
        return 0;
    return n;
}

std::string ClassicAddress(std::string_view fileName) {
    std::string out;
    out.reserve(fileName.size());
    for (const char c : fileName) {
        const uint8_t b = static_cast<uint8_t>(c);
        if (b < 32 || b >= 127 || std::strchr("\"#%&<>?", c) != nullptr)
            PercentEncode(out, b);
        else
            out += c;
    }
    return out;
}

std::string AddressOf(std::string_view fileName) {
    std::string out;
    for (const char c : fileName) {
        const uint8_t b = static_cast<uint8_t>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
            (c != 0 && std::strchr("-._~$!'()*+,;=@", c) != nullptr))
            out += c;
        else
            PercentEncode(out, b);
    }
    return out;
}

std::string PercentDecoded(std::string_view address) {
    const auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < address.size(); ++i) {
        const int high = address[i] == '%' && i + 2 < address.size() ? hex(address[i + 1]) : -1;
        const int low = high >= 0 ? hex(address[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += address[i];
        }
    }
    return out;
}

namespace {

// UTF-8 kept, bytes that are no UTF-8 and control bytes as U+FFFD, and the markup's four
// characters escaped or not.
std::string ValidText(std::string_view name, bool escape) {
    std::string out;
    while (!name.empty()) {
        const size_t n = Utf8Length(name);
        const uint8_t b = static_cast<uint8_t>(name[0]);
        if (n == 0 || b < 32 || b == 127)
            out += "\uFFFD";
        else if (escape && b == '&')
            out += modern::kAmpersand;
        else if (escape && b == '"')
            out += modern::kQuote;
        else if (escape && b == '<')
            out += page::kLessThan;
        else if (escape && b == '>')
            out += page::kGreaterThan;
        else
            out += name.substr(0, n);
        name.remove_prefix(n == 0 ? 1 : n);
    }
    return out;
}

}  // namespace

std::string HtmlText(std::string_view name) {
    return ValidText(name, true);
}

std::string PlainText(std::string_view name) {
    return ValidText(name, false);
}

}  // namespace quill::names
