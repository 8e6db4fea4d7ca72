#include "archive/OrderedCommits.h"

#include <chrono>

#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

TOrderedCommits::TOrderedCommits(std::vector<std::string> documents)
    : documents_(std::move(documents)), finished_(documents_.size(), false) {
    gates_.reserve(documents_.size());
    TFileKeys keys;
    for (size_t i = 0; i < documents_.size(); ++i) {
        gates_.emplace_back(*this, i);
        claims_.emplace(keys(documents_[i]), TClaim{i, true});
    }
}

bool TOrderedCommits::EarlierMayWrite(size_t index, const std::vector<std::string>& keys) const {
    if (!mayWrite_) return true;
    for (size_t j = firstOpen_; j < index; ++j) {
        if (finished_[j]) continue;
        for (const std::string& key : keys)
            if (mayWrite_(j, key)) return true;
    }
    return false;
}

void TOrderedCommits::TGate::BeforeCommit(const std::vector<std::string>& files) {
    TOrderedCommits& o = owner_;
    std::vector<std::string> keys;
    TFileKeys keyOf;
    for (const std::string& file : files) keys.push_back(keyOf(file));
    std::unique_lock<std::mutex> lock(o.lock_);
    // A document goes ahead of earlier ones that are not finished only when none of them
    // can write any of its files: then the order could not change what either gets.
    while (o.firstOpen_ < index_ && o.EarlierMayWrite(index_, keys)) {
        if (!o.help_) {
            o.turn_.wait(lock);
            continue;
        }
        lock.unlock();
        const bool helped = o.help_();
        lock.lock();
        if (helped || o.firstOpen_ >= index_) continue;
        if (o.lend_) {
            lock.unlock();
            o.lend_();
            lock.lock();
        }
        o.turn_.wait_for(lock, std::chrono::milliseconds(2));
        if (o.resume_) {
            lock.unlock();
            o.resume_();
            lock.lock();
        }
    }
    for (size_t k = 0; k < files.size(); ++k) {
        const auto it = o.claims_.find(keys[k]);
        if (it == o.claims_.end() || it->second.Owner == index_) continue;
        const std::string& other = o.documents_[it->second.Owner];
        const std::string reason = it->second.Input
                                       ? "it is the input document \"" + other + "\" of this call"
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
        while (firstOpen_ < finished_.size() && finished_[firstOpen_]) ++firstOpen_;
    }
    turn_.notify_all();
}

}  // namespace quill
