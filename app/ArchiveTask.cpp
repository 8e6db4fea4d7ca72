#include "app/ArchiveTask.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "archive/ArchiveCall.h"

namespace quill {

TArchiveTask::TArchiveTask(TCallSettings settings) : settings_(std::move(settings)) {
    settings_.watch = this;
    thread_ = std::thread([this] {
        // The outcome is in the state: every document's end and every failure came by it.
        // What escapes the call (no memory for the walk) must not end the program.
        std::string escaped;
        try {
            RunCall(settings_);
        } catch (const std::exception& e) {
            escaped = e.what();
        }
        std::lock_guard<std::mutex> lock(lock_);
        if (!escaped.empty()) state_.Failures.push_back(escaped);
        state_.Finished = true;
    });
}

TArchiveTask::~TArchiveTask() {
    Cancel();
    thread_.join();
}

void TArchiveTask::Cancel() {
    std::lock_guard<std::mutex> lock(lock_);
    if (!state_.Finished) state_.Cancelling = true;
}

TArchiveTask::TState TArchiveTask::State() {
    std::lock_guard<std::mutex> lock(lock_);
    return state_;
}

bool TArchiveTask::Cancelled() {
    std::lock_guard<std::mutex> lock(lock_);
    return state_.Cancelling;
}

void TArchiveTask::Started(const std::string& input, size_t total) {
    std::lock_guard<std::mutex> lock(lock_);
    running_.push_back(input);
    state_.Current = running_.front();
    state_.Total = total;
}

void TArchiveTask::Ended(const std::string& input, const std::string& reason, size_t done,
                         size_t total, double secondsLeft) {
    std::lock_guard<std::mutex> lock(lock_);
    state_.Done = done;
    state_.Total = total;
    state_.SecondsLeft = secondsLeft;
    if (const auto it = std::find(running_.begin(), running_.end(), input); it != running_.end())
        running_.erase(it);
    if (!running_.empty()) state_.Current = running_.front();
    if (reason.empty())
        ++state_.Converted;
    else
        state_.Failures.push_back(input + ": " + reason);
}

void TArchiveTask::Failed(const std::string& line) {
    std::lock_guard<std::mutex> lock(lock_);
    state_.Failures.push_back(line);
}

}  // namespace quill
