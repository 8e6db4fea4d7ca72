#include "archive/RecordText.h"

#include <charconv>

namespace quill::records {

namespace {

constexpr std::string_view kWriter = "vornik2html ";
constexpr int kVersion = 1;

std::string Escape(std::string_view s) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            out += '%';
            out += kDigits[static_cast<unsigned char>(c) >> 4];
            out += kDigits[static_cast<unsigned char>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
}

std::string Unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const int high = s[i] == '%' && i + 2 < s.size() ? HexDigit(s[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(s[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high << 4 | low);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t at = s.find(separator, from);
        parts.push_back(s.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos) return parts;
        from = at + 1;
    }
}

}  // namespace

std::string Line(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string line;
    for (const auto& [name, value] : fields) {
        if (!line.empty()) line += '\t';
        line += Escape(name) + '\t' + Escape(value);
    }
    return line + '\n';
}

std::string Header(std::string_view kind) {
    return std::string(kWriter) + std::string(kind) + ' ' + std::to_string(kVersion) + '\n';
}

std::optional<std::vector<TFields>> Entries(std::string_view text, std::string_view kind) {
    std::vector<std::string_view> lines = Split(text, '\n');
    const std::string prefix = std::string(kWriter) + std::string(kind) + ' ';
    if (lines.empty() || !lines[0].starts_with(prefix)) return std::nullopt;
    const std::string_view version = lines[0].substr(prefix.size());
    int number = 0;
    const auto [end, error] =
        std::from_chars(version.data(), version.data() + version.size(), number);
    if (error != std::errc() || end != version.data() + version.size() || number < 1)
        return std::nullopt;
    std::vector<TFields> entries;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        const std::vector<std::string_view> parts = Split(lines[i], '\t');
        if (parts.size() % 2 != 0) continue;
        TFields fields;
        for (size_t k = 0; k < parts.size(); k += 2)
            fields.emplace(Unescape(parts[k]), Unescape(parts[k + 1]));
        entries.push_back(std::move(fields));
    }
    return entries;
}

namespace {

template <typename T>
T NumberOf(const TFields& fields, const std::string& name, T fallback) {
    const auto it = fields.find(name);
    if (it == fields.end()) return fallback;
    T n = 0;
    const std::string& s = it->second;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), n);
    return error == std::errc() && end == s.data() + s.size() && !s.empty() ? n : fallback;
}

}  // namespace

uint64_t Number(const TFields& fields, const std::string& name, uint64_t fallback) {
    return NumberOf(fields, name, fallback);
}

int64_t SignedNumber(const TFields& fields, const std::string& name, int64_t fallback) {
    return NumberOf(fields, name, fallback);
}

std::string Text(const TFields& fields, const std::string& name) {
    const auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) joined += '/';
        joined += name;
    }
    return joined;
}

std::vector<std::string> SplitNames(std::string_view field) {
    std::vector<std::string> names;
    if (field.empty()) return names;
    for (const std::string_view name : Split(field, '/')) names.emplace_back(name);
    return names;
}

}  // namespace quill::records
