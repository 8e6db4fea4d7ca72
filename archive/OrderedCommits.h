#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "convert/RunSeams.h"

namespace quill {

class TWorkerPool;

// The order in which the documents of one call put their files in place: the order of
// the call, whatever order they finish converting in, so the outcome is the same for
// any number of workers. No document puts in place a file that an earlier document of
// the call wrote, nor one that is another document of the call; such a document fails,
// naming the file and the other document, and the earlier one stays complete.
class TOrderedCommits {
  public:
    // A document of the call: its INPUT as given, and what it may write, by file key
    // (FileKey): its page and pictures named after its BaseName in the page's folder.
    struct TDocument {
        std::string Input;
        std::string PageKey;
        std::string BaseName;  // as FileKey spells names (TPlatform::KeyName)
        // Files it keeps as they are, up to date, by file name: no document replaces them.
        std::vector<std::string> Kept = {};
        // Keys of the files of the site it writes beside its page (TSiteFiles).
        std::vector<std::string> Extras = {};
    };
    // With a pool, a document that waits for its turn runs the pool's waiting pictures,
    // and otherwise sleeps with its place lent (see WorkerPool.h). A document whose files
    // no earlier unfinished document may write puts them in place without waiting: the
    // outcome stays that of the call's order.
    TOrderedCommits(std::vector<TDocument> documents, TWorkerPool* pool);

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
    bool MayWrite(size_t j, const std::string& key) const;
    // Until no earlier document may write any of keys.
    void WaitForTurn(std::unique_lock<std::mutex>& lock, size_t index,
                     const std::vector<std::string>& keys);

    struct TClaim {
        size_t Owner = 0;    // the document whose file it is
        bool Input = false;  // the document itself rather than a file it writes
        bool Kept = false;   // a file it keeps rather than writes
    };

    std::vector<TDocument> documents_;
    TWorkerPool* pool_;
    std::vector<TGate> gates_;
    std::mutex lock_;
    std::condition_variable turn_;
    std::vector<bool> finished_;
    size_t firstOpen_ = 0;  // every document before it is finished
    size_t finishes_ = 0;   // documents finished so far: what a sleeper waits to change
    size_t wakeCalls_ = 0;  // times the pool asked sleepers to take a place back
    size_t sleepers_ = 0;   // documents asleep with their place lent
    std::map<std::string, TClaim> claims_;  // by file key
};

}  // namespace quill
