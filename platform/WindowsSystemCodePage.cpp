#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/SystemCodePage.h"
#include "platform/WindowsText.h"

namespace quill {

namespace {

// The number Windows knows a code page by, from the names iconv takes for the single-byte
// ones: "cp437", "ibm866", "windows-1252", "iso-8859-5", "koi8-r" and a few others; 0 for
// none.
UINT CodePageNumber(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::erase(name, '_');
    const auto number = [](std::string_view digits) -> UINT {
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return 0;
        return static_cast<UINT>(std::stoul(std::string(digits)));
    };
    for (const std::string_view prefix : {"cp", "ibm", "windows-", "ms-"})
        if (name.starts_with(prefix)) return number(std::string_view(name).substr(prefix.size()));
    for (const std::string_view prefix : {"iso-8859-", "iso8859-"})
        if (const UINT part =
                name.starts_with(prefix) ? number(std::string_view(name).substr(prefix.size())) : 0;
            part >= 1 && part <= 16)
            return 28590 + part;
    struct TNamed {
        std::string_view name;
        UINT number;
    };
    static constexpr TNamed kNamed[] = {
        {"koi8-r", 20866},   {"koi8-u", 21866},    {"latin1", 28591}, {"ascii", 20127},
        {"us-ascii", 20127}, {"macintosh", 10000}, {"mac", 10000},    {"maccyrillic", 10007},
    };
    for (const TNamed& n : kNamed)
        if (name == n.name) return n.number;
    return 0;
}

}  // namespace

std::optional<std::array<std::string, 128>> SystemCodePageUpperHalf(const std::string& name) {
    const UINT codePage = CodePageNumber(name);
    CPINFO info{};
    if (codePage == 0 || !GetCPInfo(codePage, &info) || info.MaxCharSize != 1) return std::nullopt;
    std::array<std::string, 128> upper;
    for (int b = 128; b < 256; ++b) {
        const char in = static_cast<char>(b);
        wchar_t out[4] = {};
        const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, out, 4);
        // Windows's own code pages give a byte they leave out as the control character
        // of its number (0x98 in windows-1251), where iconv says there is none.
        const bool leftOut =
            n <= 0 || (n == 1 && out[0] == static_cast<wchar_t>(b) && b < 0xA0 &&
                       (codePage == 874 || (codePage >= 1250 && codePage <= 1258)));
        upper[static_cast<size_t>(b - 128)] =
            leftOut ? "\uFFFD" : Narrow(std::wstring_view(out, static_cast<size_t>(n)));
    }
    return upper;
}

}  // namespace quill
