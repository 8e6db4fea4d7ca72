#pragma once

#include "convert/RunSeams.h"

namespace quill {

// The main block of both programs: the picture registry learns PNG before the window
// exists and forgets it only after the application object is gone; the window shows in
// the system's language, and the documents named on the command line (what is left once
// Qt has taken its own options) are opened as soon as it is shown. Answers the exit status.
int RunProgram(TPageStyle style, int argc, char* argv[]);

}  // namespace quill
