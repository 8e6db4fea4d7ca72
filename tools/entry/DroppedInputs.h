#pragma once

#include <string>
#include <vector>

#include "archive/CallSettings.h"
#include "platform/Platform.h"

namespace quill {

// Documents and folders dropped on the program in a file manager, converted beside
// themselves: the documents of one folder into that folder, as one call, and each folder
// into a site beside it (archive/ into archive-site/), a call of its own. Options are the
// defaults; each call has the platform and the terminal flag of base.
std::vector<TCallSettings> DroppedCalls(const std::vector<std::string>& paths,
                                        const TCallSettings& base, TPlatform& platform);

// Whether a command line is what a drop gives: names only, no options, each of a file or
// folder that exists.
bool LooksDropped(const std::vector<std::string>& arguments, TPlatform& platform);

// Converts dropped paths (LooksDropped) as DroppedCalls lays them out; answers the worst
// exit status of the calls.
int ConvertDropped(const std::vector<std::string>& paths, bool terminal);

inline constexpr const char* kSiteSuffix = "-site";

}  // namespace quill
