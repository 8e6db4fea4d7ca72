#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "convert/RunSeams.h"

namespace quill {

// The order in which the documents of one call put their files in place: the order of
// the call, whatever order they finish converting in, so the outcome is the same for
// any number of workers. No document puts in place a file that an earlier document of
// the call wrote, nor one that is another document of the call; such a document fails,
// naming the file and the other document, and the earlier one stays complete.
class TOrderedCommits {
  public:
    explicit TOrderedCommits(std::vector<std::string> documents);

    // What a document does while it waits for its turn: help answers whether it did some
    // work (then the turn is looked at again) or found none (then the document sleeps a
    // moment). Without it, a waiting document only sleeps.
    void WhileWaiting(std::function<bool()> help) { help_ = std::move(help); }
    // Around each such moment of sleep: lend gives the worker's place to another, resume
    // waits until it has one again, so that workers all waiting here leave places to the
    // earlier documents they wait for. Called without the lock held.
    void WhileSleeping(std::function<void()> lend, std::function<void()> resume) {
        lend_ = std::move(lend);
        resume_ = std::move(resume);
    }

    // Which files document j may write, by file key (FileKey): given, a document whose
    // files no earlier unfinished document may write puts them in place without waiting
    // for its turn; the outcome stays that of the call's order.
    void MayWrite(std::function<bool(size_t j, const std::string& fileKey)> mayWrite) {
        mayWrite_ = std::move(mayWrite);
    }

    // The gate of document i, for its run. Valid while this object lives.
    TCommitGate& Gate(size_t i) { return gates_[i]; }
    // Document i is done, put in place or not: the documents after it may go on. Every
    // document is finished exactly once, whether it was converted or refused.
    void Finish(size_t i, bool committed);

  private:
    class TGate : public TCommitGate {
      public:
        TGate(TOrderedCommits& owner, size_t index) : owner_(owner), index_(index) {}
        void BeforeCommit(const std::vector<std::string>& files) override;

      private:
        TOrderedCommits& owner_;
        size_t index_;
    };
    // With the lock held: whether a document before index, not finished, may write one of
    // the files.
    bool EarlierMayWrite(size_t index, const std::vector<std::string>& keys) const;

    struct TClaim {
        size_t Owner = 0;    // the document whose file it is
        bool Input = false;  // the document itself rather than a file it writes
    };

    std::vector<std::string> documents_;
    std::vector<TGate> gates_;
    std::mutex lock_;
    std::condition_variable turn_;
    std::vector<bool> finished_;
    size_t firstOpen_ = 0;                  // every document before it is finished
    std::map<std::string, TClaim> claims_;  // by file key
    std::function<bool()> help_;
    std::function<void()> lend_, resume_;
    std::function<bool(size_t, const std::string&)> mayWrite_;
};

}  // namespace quill
