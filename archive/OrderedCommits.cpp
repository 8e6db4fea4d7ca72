#include "archive/OrderedCommits.h"

#include "archive/WorkerPool.h"
#include "convert/DocumentNames.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

TOrderedCommits::TOrderedCommits(std::vector<TDocument> documents, TWorkerPool* pool)
    : documents_(std::move(documents)), pool_(pool), finished_(documents_.size(), false) {
    gates_.reserve(documents_.size());
    TFileKeys keys;
    for (size_t i = 0; i < documents_.size(); ++i) {
        gates_.emplace_back(*this, i);
        claims_.emplace(keys(documents_[i].Input), TClaim{i, true});
    }
    for (size_t i = 0; i < documents_.size(); ++i)
        for (const std::string& file : documents_[i].Kept)
            claims_.emplace(keys(file), TClaim{i, false, true});
    if (pool_)
        pool_->WhenShortOfThreads([this] {
            // Called with the pool's lock held; this lock is never held while calling
            // the pool, so the two are always taken in this order.
            // One sleeper taking a place back is enough.
            {
                std::lock_guard<std::mutex> lock(lock_);
                if (sleepers_ == 0) return;
                ++wakeCalls_;
            }
            turn_.notify_one();
        });
}

// Document j writes its page and its pictures "<n>BaseName.png" (or ".bmp") beside it.
bool TOrderedCommits::MayWrite(size_t j, const std::string& key) const {
    const TDocument& d = documents_[j];
    if (key == d.PageKey) return true;
    for (const std::string& extra : d.Extras)
        if (key == extra) return true;
    const std::string_view folder = names::FolderOf(d.PageKey);
    return key.starts_with(folder) &&
           names::IsPictureName(std::string_view(key).substr(folder.size()), d.BaseName);
}

bool TOrderedCommits::EarlierMayWrite(size_t index, const std::vector<std::string>& keys) const {
    for (size_t j = firstOpen_; j < index; ++j) {
        if (finished_[j]) continue;
        for (const std::string& key : keys)
            if (MayWrite(j, key)) return true;
    }
    return false;
}

void TOrderedCommits::WaitForTurn(std::unique_lock<std::mutex>& lock, size_t index,
                                  const std::vector<std::string>& keys) {
    // A document goes ahead of earlier ones that are not finished only when none of them
    // can write any of its files: then the order could not change what either gets.
    while (firstOpen_ < index && EarlierMayWrite(index, keys)) {
        if (!pool_) {
            turn_.wait(lock);
            continue;
        }
        lock.unlock();
        const bool helped = pool_->HelpOnce();
        lock.lock();
        if (helped || firstOpen_ >= index || !EarlierMayWrite(index, keys)) continue;
        // Nothing to help with: the place goes to another thread until an earlier document
        // finishes, or the pool has pictures and no thread to run them.
        const size_t finishes = finishes_, wakeCalls = wakeCalls_;
        lock.unlock();
        pool_->Lend();
        lock.lock();
        ++sleepers_;
        turn_.wait(lock, [&] { return finishes_ != finishes || wakeCalls_ != wakeCalls; });
        --sleepers_;
        lock.unlock();
        pool_->Resume();
        lock.lock();
    }
}

void TOrderedCommits::TGate::BeforeCommit(const std::vector<std::string>& files) {
    TOrderedCommits& o = owner_;
    std::vector<std::string> keys;
    TFileKeys keyOf;
    for (const std::string& file : files) keys.push_back(keyOf(file));
    std::unique_lock<std::mutex> lock(o.lock_);
    o.WaitForTurn(lock, index_, keys);
    for (size_t k = 0; k < files.size(); ++k) {
        const auto it = o.claims_.find(keys[k]);
        if (it == o.claims_.end() || it->second.Owner == index_) continue;
        const std::string& other = o.documents_[it->second.Owner].Input;
        const std::string reason =
            it->second.Input  ? "it is the input document \"" + other + "\" of this call"
            : it->second.Kept ? "it is a file of \"" + other + "\", up to date in this call"
                              : "\"" + other + "\" of this call writes it";
        throw EInOutError("Cannot write \"" + files[k] + "\": " + reason, files[k], reason);
    }
    for (const std::string& key : keys) o.claims_.emplace(key, TClaim{index_, false});
}

void TOrderedCommits::Finish(size_t i, bool committed) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!committed)
            for (auto it = claims_.begin(); it != claims_.end();)
                it = it->second.Owner == i && !it->second.Input ? claims_.erase(it) : std::next(it);
        finished_[i] = true;
        ++finishes_;
        while (firstOpen_ < finished_.size() && finished_[firstOpen_]) ++firstOpen_;
    }
    turn_.notify_all();
}

}  // namespace quill
