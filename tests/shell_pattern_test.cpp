// --match patterns mean what fnmatch without flags makes of them, on every system.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fnmatch.h>
#endif

#include <string>

#include "archive/ShellPattern.h"

namespace quill {
namespace {

TEST(ShellPattern, MatchesAsFnmatchDoes) {
    struct Case {
        std::string pattern, name;
        bool want;
    };
    const Case cases[] = {
        {"*.$w", "obzor.$w", true},
        {"*.$w", "obzor.$w1", false},
        {"*", ".hidden", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"?", "ж", false},
        {"??", "ж", true},
        {"[a-c]x", "bx", true},
        {"[!a-c]x", "bx", false},
        {"[^a-c]x", "dx", true},
        {"[]]", "]", true},
        {"[a-]", "-", true},
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"[ab", "[ab", true},
        {"[ab", "a", false},
        {"*[0-9].txt", "doc12.txt", true},
        {"doc*", "doc", true},
        {"", "", true},
        {"", "a", false},
        {"[\\]]", "]", true},
        {"*/b", "a/b", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesShellPattern(c.pattern, c.name), c.want) << c.pattern << " " << c.name;
#ifndef _WIN32
        EXPECT_EQ(fnmatch(c.pattern.c_str(), c.name.c_str(), 0) == 0, c.want)
            << c.pattern << " " << c.name;
#endif
    }
}

}  // namespace
}  // namespace quill
