#include "archive/CallGate.h"

namespace quill {

void TCallGate::BeforeCommit(const std::vector<std::string>& files) {
    if (cancelled_()) throw Exception("cancelled");
    gate_.BeforeCommit(files);
    // The wait for earlier documents may have been long.
    if (cancelled_() || !begin_()) throw Exception("cancelled");
    if (recorder_ && recorder_->InPlace()) throw EInPlace();
}

void TCancellablePictures::RunAll(size_t count, const std::function<void(size_t)>& prepare,
                                  const std::function<void(size_t)>& task) {
    work_.RunAll(count, prepare, [&](size_t i) {
        if (cancelled_()) throw Exception("cancelled");
        task(i);
    });
}

}  // namespace quill
