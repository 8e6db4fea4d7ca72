#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "convert/RunSeams.h"

namespace quill {

// One set of workers for the documents of a call and the pictures of each document alike.
// Documents start in their order, one per worker; the pictures a document hands out go
// before any new document, to whichever worker is free, the document's own included. A
// worker never holds more than one document, and a picture runs only while a worker has
// nothing else, so memory stays within a document and a picture per worker.
class TWorkerPool : public TPictureWork {
  public:
    explicit TWorkerPool(unsigned workers);
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Runs document(0) to document(count - 1), starting them in order, and answers once
    // all have ended. The calling thread is one of the workers. A document's failure is
    // its own business: document must not throw.
    void RunDocuments(size_t count, const std::function<void(size_t)>& document);

    void RunAll(size_t count, const std::function<void(size_t)>& task) override;

    // Runs one waiting picture, if there is one, and answers whether it did: for a worker
    // that must wait for other documents, so it helps them meanwhile.
    bool HelpOnce();

  private:
    struct TBatch {
        const std::function<void(size_t)>* Task = nullptr;
        size_t Left = 0;  // tasks not yet ended
        std::vector<std::exception_ptr> Errors;
    };
    struct TPicture {
        TBatch* Batch = nullptr;
        size_t Index = 0;
    };

    void Work(const std::function<void(size_t)>& document, size_t count);
    // With the lock held: runs the first waiting picture without the lock.
    void RunPicture(std::unique_lock<std::mutex>& lock);

    unsigned workers_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<TPicture> pictures_;
    size_t nextDocument_ = 0;
    size_t documentsEnded_ = 0;
};

}  // namespace quill
