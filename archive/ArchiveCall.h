#pragma once

#include "archive/CallSettings.h"

namespace quill {

// One call of the command-line converter: finds the documents of its INPUTs (a folder is
// walked, its pages laid out below DIR as its documents lie below it), converts them on
// one pool of workers, documents and pictures alike, puts their files in place in the
// order of the call, records what the indexes need and writes the index pages. Answers
// the exit status: 0 all converted, 1 something failed.
int RunCall(const TCallSettings& settings);

}  // namespace quill
