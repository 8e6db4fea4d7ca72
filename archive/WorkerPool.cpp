#include "archive/WorkerPool.h"

namespace quill {

TWorkerPool::TWorkerPool(unsigned workers) : workers_(workers < 1 ? 1 : workers) {}

void TWorkerPool::RunDocuments(size_t count, const std::function<void(size_t)>& document) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        document_ = &document;
        count_ = count;
        nextDocument_ = 0;
        documentsEnded_ = 0;
    }
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers_; ++t) threads.emplace_back([this] { Work(); });
    Work();
    for (std::thread& t : threads) t.join();
    // Every document has ended, so no place is lent any more and no thread is added. The
    // counts stay as they are: a thread not yet awake must still see that all have ended.
    std::vector<std::thread> lenders;
    {
        std::lock_guard<std::mutex> lock(lock_);
        lenders.swap(lenders_);
    }
    for (std::thread& t : lenders) t.join();
}

void TWorkerPool::Work() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        // Threads stay until the last document has ended: its pictures may still come.
        ++parked_;
        changed_.wait(lock, [&] {
            return documentsEnded_ == count_ || (running_ < static_cast<int>(workers_) &&
                                                 (!pictures_.empty() || nextDocument_ < count_));
        });
        --parked_;
        if (documentsEnded_ == count_) return;
        ++running_;
        if (!pictures_.empty()) {
            RunPicture(lock);
        } else {
            const size_t i = nextDocument_++;
            lock.unlock();
            (*document_)(i);
            lock.lock();
            ++documentsEnded_;
        }
        --running_;
        changed_.notify_all();
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

void TWorkerPool::RunAll(size_t count, const std::function<void(size_t)>& prepare,
                         const std::function<void(size_t)>& task) {
    if (count == 0) return;
    TBatch batch{&task, count, std::vector<std::exception_ptr>(count)};
    std::exception_ptr prepareError;
    for (size_t i = 0; i < count; ++i) {
        try {
            prepare(i);
        } catch (...) {
            prepareError = std::current_exception();
            std::lock_guard<std::mutex> lock(lock_);
            batch.Left -= count - i;
            break;
        }
        std::lock_guard<std::mutex> lock(lock_);
        pictures_.push_back(TPicture{&batch, i});
        changed_.notify_all();
    }
    std::unique_lock<std::mutex> lock(lock_);
    // The document's own worker works too, on any picture, until its own have ended.
    while (batch.Left > 0) {
        if (!pictures_.empty()) {
            RunPicture(lock);
            continue;
        }
        // Its last pictures run elsewhere: its place goes to the next document meanwhile,
        // on a parked thread or, when there is none, on one more thread.
        --running_;
        if (nextDocument_ < count_ && parked_ == 0 && lenders_.size() < workers_)
            lenders_.emplace_back([this] { Work(); });
        changed_.notify_all();
        changed_.wait(lock, [&] {
            return batch.Left == 0 || (!pictures_.empty() && running_ < static_cast<int>(workers_));
        });
        ++running_;
    }
    if (prepareError) std::rethrow_exception(prepareError);
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
