#include "convert/PageLanguage.h"

#include <cstdint>

#include "convert/LineRules.h"

namespace quill::language {

namespace {

constexpr bool IsCyrillicLetter(uint8_t b) {
    return (b >= 0x80 && b <= 0xAF) || (b >= 0xE0 && b <= 0xF7);
}

constexpr bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool HoldsCyrillicLetter(std::string_view text) {
    // A block at a time without a branch per byte: an English text is looked at whole.
    constexpr size_t kBlock = 256;
    size_t i = 0;
    for (; i + kBlock <= text.size(); i += kBlock) {
        uint8_t any = 0;
        for (size_t k = 0; k < kBlock; ++k) {
            const uint8_t b = static_cast<uint8_t>(text[i + k]);
            any |= static_cast<uint8_t>(static_cast<uint8_t>(b - 0x80) < 0x30) |
                   static_cast<uint8_t>(static_cast<uint8_t>(b - 0xE0) < 0x18);
        }
        if (any != 0) return true;
    }
    for (; i < text.size(); ++i)
        if (IsCyrillicLetter(static_cast<uint8_t>(text[i]))) return true;
    return false;
}

bool TextStartHoldsCyrillicLetter(std::string_view ahead) {
    while (!ahead.empty()) {
        size_t end = ahead.find_first_of(std::string_view("\r\0", 2));
        const bool last = end == std::string_view::npos || ahead[end] == '\0';
        end = end == std::string_view::npos ? ahead.size() : end + 1;
        const std::string_view line = ahead.substr(0, end);
        const bool picture =
            line.size() >= 2 &&
            lines::IsPictureLine(static_cast<uint8_t>(line[0]), static_cast<uint8_t>(line[1]));
        if (!picture && HoldsCyrillicLetter(line)) return true;
        if (last) break;
        ahead.remove_prefix(end);
    }
    return false;
}

bool IsLanguageTag(std::string_view tag) {
    size_t letters = 0;
    while (letters < tag.size() && IsAsciiLetter(tag[letters])) ++letters;
    if (letters < 2 || letters > 8 || tag.size() > 15) return false;
    for (size_t i = letters; i < tag.size(); ++i) {
        const char c = tag[i];
        const bool subtag = IsAsciiLetter(c) || (c >= '0' && c <= '9');
        if (!subtag && !(c == '-' && i + 1 < tag.size() && tag[i - 1] != '-')) return false;
    }
    return true;
}

}  // namespace quill::language
