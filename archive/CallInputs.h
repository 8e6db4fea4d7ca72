#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveRoots.h"
#include "archive/CallJob.h"
#include "archive/CallSettings.h"
#include "platform/Platform.h"

namespace quill {

// The documents a call's INPUTs name, in the order of the call: a document named alone is
// one job (its page -o, or DIR/NAME.htm); a folder is walked, and its documents' pages
// are laid out below outputRoot as they lie below it (archive is then set and the folder
// added to roots). DIR is made, for documents named alone too (not for a dry run). What
// the walk cannot look at goes to complain; answers false when DIR cannot be made.
bool ListInputs(const TCallSettings& settings, const std::string& outputRoot, TPlatform& platform,
                TArchiveRoots& roots, std::vector<TCallJob>& jobs, bool& archive,
                const std::function<void(const std::string&)>& complain);

}  // namespace quill
