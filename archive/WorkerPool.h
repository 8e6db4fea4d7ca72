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
// document, to whichever worker is free, the document's own included. At most `workers`
// threads run at once. A document whose last pictures run on other workers lends its
// place meanwhile: another thread starts the next document, instead of a processor idling
// for as long as a picture takes. So memory stays within two documents and a picture per
// worker.
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

  private:
    struct TBatch {
        const std::function<void(size_t)>* Task = nullptr;
        size_t Left = 0;  // tasks not yet ended
        std::vector<std::exception_ptr> Errors;
        std::condition_variable Ended;  // its document's worker waits here alone
    };
    struct TPicture {
        TBatch* Batch = nullptr;
        size_t Index = 0;
    };

    void Work();
    // With the lock held: runs the first waiting picture without the lock.
    void RunPicture(std::unique_lock<std::mutex>& lock);
    // With the lock held: whether a parked thread may take something now.
    bool PlaceAndWork() const;

    unsigned workers_;
    const std::function<void(size_t)>* document_ = nullptr;
    size_t count_ = 0;
    std::mutex lock_;
    std::condition_variable parkedWait_;  // parked threads only: each wake-up has work

    std::deque<TPicture> pictures_;
    size_t nextDocument_ = 0;
    size_t documentsEnded_ = 0;
    // Threads running a document or a picture, not waiting; may pass workers_ for a while
    // when a lent place is taken back. Signed: RunAll may be called from outside the pool.
    int running_ = 0;
    unsigned parked_ = 0;               // threads of the pool waiting for something to do
    std::vector<std::thread> lenders_;  // started when no parked thread could take a place
};

}  // namespace quill
