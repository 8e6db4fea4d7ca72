#include "archive/Shard.h"

#include <charconv>

namespace quill {

std::optional<TShard> TShard::Parse(std::string_view text) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    unsigned k = 0, n = 0;
    const char* kEnd = text.data() + slash;
    const char* nEnd = text.data() + text.size();
    const auto [kAt, kError] = std::from_chars(text.data(), kEnd, k);
    const auto [nAt, nError] = std::from_chars(kEnd + 1, nEnd, n);
    if (kError != std::errc() || nError != std::errc() || kAt != kEnd || nAt != nEnd)
        return std::nullopt;
    if (k < 1 || n < 1 || k > n) return std::nullopt;
    return TShard(k, n);
}

bool TShard::Contains(std::string_view relativePath) const {
    // FNV-1a: fixed on every machine and build, unlike std::hash.
    uint64_t h = 14695981039346656037ull;
    for (const char c : relativePath) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h % n_ == k_ - 1;
}

}  // namespace quill
