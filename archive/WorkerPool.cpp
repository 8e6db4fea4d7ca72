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

bool TWorkerPool::PlaceAndWork() const {
    return running_ < static_cast<int>(workers_) && (!pictures_.empty() || nextDocument_ < count_);
}

void TWorkerPool::Work() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        // Threads stay until the last document has ended: its pictures may still come.
        ++parked_;
        parkedWait_.wait(lock, [&] { return documentsEnded_ == count_ || PlaceAndWork(); });
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
            if (++documentsEnded_ == count_) parkedWait_.notify_all();
        }
        --running_;
        // This thread looks for work itself next; another is woken only for a place that
        // a lent place taken back left over.
        if (parked_ > 0 && running_ + 1 < static_cast<int>(workers_) && PlaceAndWork())
            parkedWait_.notify_one();
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
    if (--p.Batch->Left == 0) p.Batch->Ended.notify_one();
}

void TWorkerPool::RunAll(size_t count, const std::function<void(size_t)>& prepare,
                         const std::function<void(size_t)>& task) {
    if (count == 0) return;
    TBatch batch{&task, count, std::vector<std::exception_ptr>(count), {}};
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
        if (parked_ > 0 && running_ < static_cast<int>(workers_)) parkedWait_.notify_one();
    }
    std::unique_lock<std::mutex> lock(lock_);
    // The document's own worker works too, on any picture, while there are any.
    while (!pictures_.empty() && batch.Left > 0) RunPicture(lock);
    if (batch.Left > 0) {
        // Its last pictures run elsewhere: its place goes to the next document meanwhile,
        // on a parked thread or, when there is none, on one more thread.
        --running_;
        if (parked_ > 0 && PlaceAndWork())
            parkedWait_.notify_one();
        else if (nextDocument_ < count_ && lenders_.size() < workers_)
            lenders_.emplace_back([this] { Work(); });
        batch.Ended.wait(lock, [&] { return batch.Left == 0; });
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
