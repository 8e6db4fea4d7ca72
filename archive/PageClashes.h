#pragma once

#include <vector>

#include "archive/CallJob.h"
#include "platform/FileIdentity.h"
#include "platform/Platform.h"

namespace quill {

// Refuses the jobs whose page is another document of the call, or the page of an earlier
// job: each gets its Refusal.
void RefuseClashingPages(TPlatform& platform, std::vector<TCallJob>& jobs, TFileKeys& keyOf);

}  // namespace quill
