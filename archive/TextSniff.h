#pragma once

#include <string>
#include <string_view>

namespace quill {

// Whether the first bytes of a file look like some other text than a Vornik document,
// whose lines end in CR and whose letters are single bytes: answers what it looks like
// ("a UTF-8 text file"), or "" when nothing speaks against a document.
std::string LooksLikeOtherText(std::string_view head);

}  // namespace quill
