#include "archive/WorkerPool.h"

#include <algorithm>

namespace quill {

TWorkerPool::TWorkerPool(unsigned workers) : workers_(workers < 1 ? 1 : workers) {}

void TWorkerPool::RunDocuments(size_t count, const std::function<void(size_t)>& document) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        document_ = &document;
        count_ = count;
        documentPictures_.clear();
        documentPictures_.reserve(count);
        for (size_t i = 0; i < count; ++i) documentPictures_.emplace_back(*this, i);
        nested_.assign(count, 0);
        nextDocument_ = 0;
        documentsEnded_ = 0;
        // A place for each worker, taken up as each starts.
        const auto places = static_cast<unsigned>(std::min<size_t>(workers_, count));
        running_ += static_cast<int>(places);
        grants_ += places;
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

void TWorkerPool::Dispatch() {
    const auto places = static_cast<int>(workers_);
    while (running_ < places && !waiting_.empty()) {
        TWaiter* waiter = waiting_.front();
        waiting_.pop_front();
        ++running_;
        waiter->HasPlace = true;
        waiter->Wake.notify_one();
    }
    const size_t work = pictures_.size() + (count_ - nextDocument_);
    while (running_ < places && work > grants_) {
        if (parked_ <= grants_ && lenders_.size() >= workers_) {
            // Every thread is busy or waiting: the place stays free for the first to come
            // back, and pictures must not wait for that.
            if (!pictures_.empty() && shortOfThreads_) shortOfThreads_();
            break;
        }
        ++running_;
        ++grants_;
        if (parked_ >= grants_)
            parkedWait_.notify_one();
        else
            lenders_.emplace_back([this] { Work(); });
    }
}

void TWorkerPool::Work() {
    std::unique_lock<std::mutex> lock(lock_);
    bool holding = false;   // a place
    bool giveBack = false;  // the place held so far goes back before waiting
    for (;;) {
        if (!holding) {
            // Parked first, so that the place given back may come to this very thread.
            ++parked_;
            if (giveBack) {
                giveBack = false;
                --running_;
                Dispatch();
            }
            // Threads stay until the last document has ended: its pictures may still come.
            parkedWait_.wait(lock, [&] { return grants_ > 0 || documentsEnded_ == count_; });
            --parked_;
            if (grants_ == 0) return;
            --grants_;
            holding = true;
        }
        if (!pictures_.empty()) {
            RunPicture(lock);
        } else if (nextDocument_ < count_) {
            RunDocument(lock, nextDocument_++);
        } else {
            holding = false;  // nothing to do
        }
        // A worker whose wait is over has the place before any new work.
        if (!holding || !waiting_.empty()) {
            holding = false;
            giveBack = true;
        }
    }
}

void TWorkerPool::RunDocument(std::unique_lock<std::mutex>& lock, size_t i) {
    lock.unlock();
    (*document_)(i);
    lock.lock();
    if (++documentsEnded_ == count_) parkedWait_.notify_all();
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
    if (--p.Batch->Left == 0 && p.Batch->Owner) {
        waiting_.push_back(p.Batch->Owner);
        Dispatch();
    }
}

void TWorkerPool::WaitForPlace(std::unique_lock<std::mutex>& lock, TWaiter& waiter) {
    --running_;
    Dispatch();
    waiter.Wake.wait(lock, [&] { return waiter.HasPlace; });
}

void TWorkerPool::RunAll(size_t count, const std::function<void(size_t)>& prepare,
                         const std::function<void(size_t)>& task) {
    RunBatch(kNoDocument, count, prepare, task);
}

void TWorkerPool::RunBatch(size_t document, size_t count,
                           const std::function<void(size_t)>& prepare,
                           const std::function<void(size_t)>& task) {
    if (count == 0) return;
    TBatch batch{&task, count, std::vector<std::exception_ptr>(count), nullptr};
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
        Dispatch();
    }
    std::unique_lock<std::mutex> lock(lock_);
    // The document's own worker works too, on any picture, while there are any; then,
    // when it may, on the next document.
    for (;;) {
        while (!pictures_.empty() && batch.Left > 0) RunPicture(lock);
        if (batch.Left == 0 || document == kNoDocument || nested_[document] ||
            nextDocument_ >= count_ || !mayNest_ || !mayNest_(document, nextDocument_))
            break;
        const size_t next = nextDocument_++;
        nested_[next] = 1;
        RunDocument(lock, next);
    }
    if (batch.Left > 0) {
        // Its last pictures run elsewhere: its place goes to the next document meanwhile.
        TWaiter waiter;
        batch.Owner = &waiter;
        WaitForPlace(lock, waiter);
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

void TWorkerPool::Lend() {
    std::lock_guard<std::mutex> lock(lock_);
    --running_;
    Dispatch();
}

void TWorkerPool::Resume() {
    std::unique_lock<std::mutex> lock(lock_);
    TWaiter waiter;
    waiting_.push_back(&waiter);
    Dispatch();
    waiter.Wake.wait(lock, [&] { return waiter.HasPlace; });
}

}  // namespace quill
