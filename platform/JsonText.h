#pragma once

#include <optional>
#include <string>
#include <string_view>

// Just enough JSON for talking to other programs: strings written, and members read
// back from the small answers they give.
namespace quill::json {

// s, UTF-8, as a JSON string with its quotes: the quote, the backslash and the control
// bytes escaped.
std::string Quoted(std::string_view s);
// The same added to the end of out.
void AppendQuoted(std::string& out, std::string_view s);

// The value of the first member named key, at any depth of text: a string's text
// (unescaped, UTF-8), or the text of a number, true, false or null; nullopt when no
// member has that name or text is no JSON up to it. Objects and arrays as values are
// not taken apart.
std::optional<std::string> Member(std::string_view text, std::string_view key);

}  // namespace quill::json
