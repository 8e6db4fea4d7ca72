#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/RunSeams.h"

namespace quill {

// One set of workers for the documents of a call and the pictures of each document alike.
// Documents start in their order; the pictures a document hands out go before any new
// document, to whichever worker is free, the document's own included.
//
// There are `workers` places, and a thread runs only while it holds one, so the processors
// are never asked for more. A worker that must wait (for its last pictures, encoded by
// others, or for its turn to commit) gives its place to another thread, which starts the
// next document meanwhile; once its wait is over it has the next free place before any
// new document. Better still, a worker waiting for its last pictures runs the next
// document itself when that one can never wait for it (MayNest): no thread is woken, and
// a woken thread may wait for the scheduler to move it to the idle processor. So no
// processor idles for as long as a picture takes, and memory stays within two documents
// (rarely three) and a picture per place.
class TWorkerPool : public TPictureWork {
  public:
    explicit TWorkerPool(unsigned workers);
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Runs document(0) to document(count - 1), starting them in order, and answers once
    // all have ended. The calling thread is one of the workers. A document's failure is
    // its own business: document must not throw.
    void RunDocuments(size_t count, const std::function<void(size_t)>& document);

    void RunAll(size_t count, const std::function<void(size_t)>& prepare,
                const std::function<void(size_t)>& task) override;

    // Runs one waiting picture, if there is one, and answers whether it did: for a worker
    // that must wait for other documents, so it helps them meanwhile.
    bool HelpOnce();
    // Around any other wait of a worker: Lend gives its place to another thread, Resume
    // answers once it holds one again.
    void Lend();
    void Resume();
    // Given, a worker whose last pictures run elsewhere runs the next document itself
    // meanwhile, without a thread to wake, when mayNest(its document, the next) allows:
    // only for a next document that will never wait for it. One deep.
    void MayNest(std::function<bool(size_t outer, size_t next)> mayNest) {
        mayNest_ = std::move(mayNest);
    }

  private:
    // A worker waiting for a place back.
    struct TWaiter {
        std::condition_variable Wake;
        bool HasPlace = false;
    };
    struct TBatch {
        const std::function<void(size_t)>* Task = nullptr;
        size_t Left = 0;  // tasks not yet ended
        std::vector<std::exception_ptr> Errors;
        TWaiter* Owner = nullptr;  // set while its document's worker waits for it
    };
    struct TPicture {
        TBatch* Batch = nullptr;
        size_t Index = 0;
    };

    void Work();
    // With the lock held: runs document i without the lock, on this thread.
    void RunDocument(std::unique_lock<std::mutex>& lock, size_t i);
    // With the lock held: runs the first waiting picture without the lock.
    void RunPicture(std::unique_lock<std::mutex>& lock);
    // With the lock held: hands the free places out, to waiting workers first, then to
    // parked threads (or a new one) for the work there is.
    void Dispatch();
    // With the lock held: gives the caller's place back and waits until waiter has one.
    void WaitForPlace(std::unique_lock<std::mutex>& lock, TWaiter& waiter);

    unsigned workers_;
    const std::function<void(size_t)>* document_ = nullptr;
    size_t count_ = 0;
    std::mutex lock_;
    std::condition_variable parkedWait_;  // parked threads wait here for a grant
    std::deque<TPicture> pictures_;
    size_t nextDocument_ = 0;
    size_t documentsEnded_ = 0;
    // Places held, by running threads and by grants not yet taken up. Signed: RunAll may
    // be called from outside the pool.
    int running_ = 0;
    unsigned grants_ = 0;               // places handed to parked threads, not yet taken
    unsigned parked_ = 0;               // threads of the pool waiting for a grant
    std::deque<TWaiter*> waiting_;      // workers whose wait is over, first come first
    std::vector<std::thread> lenders_;  // started when no parked thread could take a place
    std::function<bool(size_t, size_t)> mayNest_;
};

}  // namespace quill
