#include "convert/NameEncoding.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "convert/MarkupNames.h"
#include "convert/ModernPage.h"
#include "platform/SystemCodePage.h"

namespace quill::names {

namespace {

bool IsUtf8(std::string_view part) {
    for (size_t n = 0; !part.empty(); part.remove_prefix(n))
        if ((n = Utf8Length(part)) == 0) return false;
    return true;
}

bool Is(std::string_view name, std::string_view lower) {
    return std::equal(name.begin(), name.end(), lower.begin(), lower.end(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

}  // namespace

std::optional<TNameEncoding> TNameEncoding::Named(std::string_view name) {
    TNameEncoding e;
    if (Is(name, "cp866")) return e;
    if (Is(name, "utf-8") || Is(name, "utf8")) {
        e.kind_ = TKind::AsItIs;
        e.name_ = "utf-8";
        return e;
    }
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<const TUpperHalf>, std::less<>> made;
    std::lock_guard<std::mutex> hold(lock);
    auto it = made.find(name);
    if (it == made.end()) {
        auto upper = SystemCodePageUpperHalf(std::string(name));
        if (!upper) return std::nullopt;
        it = made.emplace(name, std::make_unique<const TUpperHalf>(std::move(*upper))).first;
    }
    e.kind_ = TKind::Table;
    e.upper_ = it->second.get();
    e.name_ = it->first;
    return e;
}

std::string TNameEncoding::Shown(std::string_view path) const {
    if (kind_ == TKind::AsItIs || IsUtf8(path)) return std::string(path);
    std::string shown;
    for (size_t at = 0; at <= path.size();) {
        const size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, slash - at);
        if (IsUtf8(part)) {
            shown += part;
        } else {
            for (const char c : part) {
                const auto b = static_cast<uint8_t>(c);
                if (b < 128)
                    shown += c;
                else if (kind_ == TKind::Cp866)
                    shown += modern::TUtf8Table::Get().Text(b);
                else
                    shown += (*upper_)[static_cast<size_t>(b - 128)];
            }
        }
        if (slash < path.size()) shown += '/';
        at = slash + 1;
    }
    return shown;
}

}  // namespace quill::names
