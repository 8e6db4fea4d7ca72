#pragma once

#include <string>

#include "archive/CallSettings.h"

namespace quill {

// The options of a call that shape its pages and pictures, as command-line words in a
// fixed order ("--html5 --scale 2"), each only where it changes a byte: "" for the
// classic page of the default options. A record keeps them, so that a later --update
// knows a page made otherwise. An option added later is written only when it is not at
// its default, so records made before it still match.
std::string PageOptions(const TCallSettings& settings);

}  // namespace quill
