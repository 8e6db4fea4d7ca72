#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace quill {

// Whether the first bytes of a file look like some other text than a Vornik document,
// whose lines end in CR and whose letters are single bytes: answers what it looks like
// ("a UTF-8 text file"), or "" when nothing speaks against a document.
std::string LooksLikeOtherText(std::string_view head);

// The first bytes of a document, for LooksLikeOtherText: of a plain file only, for what a
// pipe or a device gives is read once, by the run.
std::string DocumentHead(TPlatform& platform, const std::string& path);

}  // namespace quill
