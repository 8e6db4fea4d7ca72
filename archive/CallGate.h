#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/PageRecorder.h"
#include "convert/RunSeams.h"
#include "platform/Exception.h"

namespace quill {

// Raised at the gate of a document whose page had no record, when what its run wrote is
// what is in place already: nothing but the record need be put in place.
class EInPlace : public Exception {
  public:
    EInPlace() : Exception("in place") {}
};

// The gate of one document of a call: the commit order's, then the call's own word. A
// cancel (the window's, or an interrupt), seen where a document would put its files in
// place, fails the run before anything is renamed, and the run removes its temporary
// files; begin() says whether the call still lets files be put in place.
class TCallGate : public TCommitGate {
  public:
    TCallGate(TCommitGate& gate, std::function<bool()> cancelled, std::function<bool()> begin,
              const TPageRecorder* recorder)
        : gate_(gate),
          cancelled_(std::move(cancelled)),
          begin_(std::move(begin)),
          recorder_(recorder) {}
    void BeforeCommit(const std::vector<std::string>& files) override;

  private:
    TCommitGate& gate_;
    std::function<bool()> cancelled_;
    std::function<bool()> begin_;
    const TPageRecorder* recorder_;
};

// A cancel, seen before each picture: no picture of a cancelled call is encoded.
class TCancellablePictures : public TPictureWork {
  public:
    TCancellablePictures(TPictureWork& work, std::function<bool()> cancelled)
        : work_(work), cancelled_(std::move(cancelled)) {}
    void RunAll(size_t count, const std::function<void(size_t)>& prepare,
                const std::function<void(size_t)>& task) override;

  private:
    TPictureWork& work_;
    std::function<bool()> cancelled_;
};

}  // namespace quill
