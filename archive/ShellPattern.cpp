#include "archive/ShellPattern.h"

namespace quill {

namespace {

// Whether the set at pattern[at] (just after its "[") holds c; end: just after its "]",
// or npos when the set has no "]" and the "[" is a plain byte.
bool InSet(std::string_view pattern, size_t at, char c, size_t& end) {
    const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    if (negated) ++at;
    bool found = false;
    for (size_t i = at; i < pattern.size(); ++i) {
        if (pattern[i] == ']' && i > at) {
            end = i + 1;
            return found != negated;
        }
        char low = pattern[i];
        if (low == '\\' && i + 1 < pattern.size()) low = pattern[++i];
        char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            i += 2;
            if (pattern[i] == '\\' && i + 1 < pattern.size()) ++i;
            high = pattern[i];
        }
        const auto u = static_cast<unsigned char>(c);
        if (u >= static_cast<unsigned char>(low) && u <= static_cast<unsigned char>(high))
            found = true;
    }
    end = std::string_view::npos;
    return false;
}

}  // namespace

bool MatchesShellPattern(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    // Where the last "*" was, and the byte of name it stands up to for now.
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        bool step = false;
        size_t next = p + 1;
        if (p < pattern.size()) {
            const char c = pattern[p];
            if (c == '*') {
                starP = p++;
                starN = n;
                continue;
            }
            if (c == '?') {
                step = true;
            } else if (c == '[') {
                size_t end = 0;
                step = InSet(pattern, p + 1, name[n], end);
                if (end == std::string_view::npos)
                    step = name[n] == '[';
                else
                    next = end;
            } else if (c == '\\' && p + 1 < pattern.size()) {
                step = name[n] == pattern[p + 1];
                next = p + 2;
            } else {
                step = name[n] == c;
            }
        }
        if (step) {
            p = next;
            ++n;
        } else if (starP != std::string_view::npos) {
            // The last "*" takes one more byte.
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace quill
