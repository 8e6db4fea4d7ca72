#pragma once

#include "convert/RunSeams.h"

namespace quill {

// One conversion run for the window, in the page style of the program. Returns when the
// run is complete or a file question was cancelled; a failure is an exception.
void RunConversion(TPageStyle style, TOptionsSource& options, TFileChooser& chooser);

}  // namespace quill
