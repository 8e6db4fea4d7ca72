#include "archive/WorkerPool.h"

#include <thread>

namespace quill {

TWorkerPool::TWorkerPool(unsigned workers) : workers_(workers < 1 ? 1 : workers) {}

void TWorkerPool::RunDocuments(size_t count, const std::function<void(size_t)>& document) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        nextDocument_ = 0;
        documentsEnded_ = 0;
    }
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers_; ++t)
        threads.emplace_back([this, &document, count] { Work(document, count); });
    Work(document, count);
    for (std::thread& t : threads) t.join();
}

void TWorkerPool::Work(const std::function<void(size_t)>& document, size_t count) {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        // Workers stay until the last document has ended: its pictures may still come.
        changed_.wait(lock, [&] {
            return !pictures_.empty() || nextDocument_ < count || documentsEnded_ == count;
        });
        if (!pictures_.empty()) {
            RunPicture(lock);
        } else if (nextDocument_ < count) {
            const size_t i = nextDocument_++;
            lock.unlock();
            document(i);
            lock.lock();
            ++documentsEnded_;
            if (documentsEnded_ == count) changed_.notify_all();
        } else {
            return;
        }
    }
}

void TWorkerPool::RunPicture(std::unique_lock<std::mutex>& lock) {
    const TPicture p = pictures_.front();
    pictures_.pop_front();
    lock.unlock();
    std::exception_ptr error;
    try {
        (*p.Batch->Task)(p.Index);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (error) p.Batch->Errors[p.Index] = error;
    if (--p.Batch->Left == 0) changed_.notify_all();
}

void TWorkerPool::RunAll(size_t count, const std::function<void(size_t)>& task) {
    if (count == 0) return;
    TBatch batch{&task, count, std::vector<std::exception_ptr>(count)};
    std::unique_lock<std::mutex> lock(lock_);
    for (size_t i = 0; i < count; ++i) pictures_.push_back(TPicture{&batch, i});
    changed_.notify_all();
    // The document's own worker works too, on any picture, until its own have ended.
    while (batch.Left > 0) {
        if (!pictures_.empty())
            RunPicture(lock);
        else
            changed_.wait(lock, [&] { return batch.Left == 0 || !pictures_.empty(); });
    }
    for (const std::exception_ptr& error : batch.Errors)
        if (error) std::rethrow_exception(error);
}

bool TWorkerPool::HelpOnce() {
    std::unique_lock<std::mutex> lock(lock_);
    if (pictures_.empty()) return false;
    RunPicture(lock);
    return true;
}

}  // namespace quill
