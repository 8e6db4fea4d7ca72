#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/CallSettings.h"
#include "archive/CallWatch.h"

namespace quill {

// An archive conversion for the window: the command line's whole call, run on a thread of
// its own so that the window stays responsive, watched through State and stopped by
// Cancel.
class TArchiveTask : public TCallWatch {
  public:
    // What the window shows: the progress while the call runs, the summary at its end.
    struct TState {
        size_t Done = 0;  // documents ended, converted or failed
        size_t Total = 0;
        std::string Current;      // the earliest document still in progress
        double SecondsLeft = -1;  // negative while unknown
        size_t Converted = 0;
        std::vector<std::string> Failures;  // "DOCUMENT: reason"
        bool Cancelling = false;
        bool Finished = false;
    };

    // Starts the call at once; settings.watch is this task.
    explicit TArchiveTask(TCallSettings settings);
    // Cancels a call still running and waits for it to remove its temporary files.
    ~TArchiveTask() override;
    TArchiveTask(const TArchiveTask&) = delete;
    TArchiveTask& operator=(const TArchiveTask&) = delete;

    void Cancel();
    TState State();

    bool Cancelled() override;
    void Started(const std::string& input, size_t total) override;
    void Ended(const std::string& input, const std::string& reason, size_t done, size_t total,
               double secondsLeft) override;
    void Failed(const std::string& line) override;

  private:
    std::mutex lock_;
    TState state_;
    std::vector<std::string> running_;  // the documents in progress, in the order started
    TCallSettings settings_;
    std::thread thread_;  // last: it starts once everything else is in place
};

}  // namespace quill
