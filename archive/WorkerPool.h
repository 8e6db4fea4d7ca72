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
// How a worker waits. There are `workers` places, and a thread runs only while it holds
// one, so the processors are never asked for more. A thread that must wait gives its
// place up first:
// - a document whose last pictures run on other threads gives its place to the next
//   document and waits for its batch; once the batch is done it is queued for the next
//   free place, before any new work (every worker looks at that queue after each
//   picture). Better still, it runs the next document itself meanwhile when that one can
//   never wait for it (MayNest): no thread is woken, and a woken thread may wait for the
//   scheduler to move it to the idle processor. One deep.
// - a document waiting for its turn to put its files in place (TOrderedCommits) first runs
//   waiting pictures (HelpOnce); when there are none it lends its place (Lend), sleeps
//   until an earlier document finishes, and takes the next free place back (Resume).
// Free places go to workers whose wait is over, then to parked threads, then to a new
// thread, up to `workers` more. When none of those can take a place, the place stays
// free and the threads sleeping at the commit gate are woken (WhenShortOfThreads): one
// of them takes it back and runs the pictures.
//
// Why nothing can deadlock. A place is held only by a running thread or by a grant a
// parked thread is about to take: every waiting thread has given its place up. The first
// unfinished document never waits at the gate, and the documents before any waiter have
// started (documents start in order), so every wait is for work that is queued or
// running: pictures of a document, or an earlier document. Queued pictures always find a
// thread while a place is free: a parked one, a new one, or a woken gate sleeper. A
// document's own worker runs any queued picture before it waits for its batch, so the
// pictures it waits for are running on threads that hold places. So while any wait is
// unfinished some thread holding a place runs, and each runs to an end.
//
// Memory stays within two documents (rarely three) and a picture per place.
class TWorkerPool : public TPictureWork {
  public:
    explicit TWorkerPool(unsigned workers);
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Runs document(0) to document(count - 1), starting them in order, and answers once
    // all have ended. The calling thread is one of the workers. A document's failure is
    // its own business: document must not throw.
    void RunDocuments(size_t count, const std::function<void(size_t)>& document);

    // The pictures of document i, while RunDocuments runs it: the batches that document
    // hands out may let its worker run the next document meanwhile (MayNest).
    TPictureWork& PicturesOf(size_t i) { return documentPictures_[i]; }
    // A batch of no document of RunDocuments.
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
    // only for a next document that will never wait for it.
    void MayNest(std::function<bool(size_t outer, size_t next)> mayNest) {
        mayNest_ = std::move(mayNest);
    }
    // Called, with the pool's lock held, when pictures wait and a place is free but no
    // thread can take it: wake those that sleep after Lend, so that one resumes. It must
    // not call the pool.
    void WhenShortOfThreads(std::function<void()> wake) { shortOfThreads_ = std::move(wake); }

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
    static constexpr size_t kNoDocument = static_cast<size_t>(-1);
    // The pictures of one document of RunDocuments.
    class TDocumentPictures : public TPictureWork {
      public:
        TDocumentPictures(TWorkerPool& pool, size_t document) : pool_(pool), document_(document) {}
        void RunAll(size_t count, const std::function<void(size_t)>& prepare,
                    const std::function<void(size_t)>& task) override {
            pool_.RunBatch(document_, count, prepare, task);
        }

      private:
        TWorkerPool& pool_;
        size_t document_;
    };

    void RunBatch(size_t document, size_t count, const std::function<void(size_t)>& prepare,
                  const std::function<void(size_t)>& task);
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
    std::vector<TDocumentPictures> documentPictures_;
    std::vector<char> nested_;  // by document: run inside another's wait, so it nests none
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
    std::function<void()> shortOfThreads_;
};

}  // namespace quill
