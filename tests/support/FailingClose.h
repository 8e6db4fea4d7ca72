#pragma once

namespace quill::test {

// close() cannot be made to fail on a local file system, so quill_tests is linked with
// --wrap=close and the core's calls of close() pass through here: the next one closes the
// descriptor and then reports error, as a network file system reports a lost write; with
// skip, the closes before it pass.
void FailNextClose(int error, int skip = 0);

}  // namespace quill::test
