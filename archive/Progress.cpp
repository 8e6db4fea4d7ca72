#include "archive/Progress.h"

#include <cstdio>
#include <iostream>

#include "archive/NumberText.h"

namespace quill {

TProgress::TProgress(size_t documents, uint64_t bytes, size_t lines, bool terminal, bool quiet,
                     bool silent, TPlatform& platform, const names::TNameEncoding& encoding)
    : documents_(documents),
      bytes_(bytes),
      terminal_(terminal),
      quiet_(quiet || silent),
      silent_(silent),
      platform_(platform),
      encoding_(encoding),
      start_(platform.Now()),
      lines_(lines) {}

std::string TProgress::Count(uint64_t n, const std::string& one, const std::string& many) {
    return Grouped(n) + " " + (n == 1 ? one : many);
}

std::string TProgress::Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

void TProgress::Print(const std::string& line) {
    if (silent_) return;
    // A line of its own clears the status line first; the status line comes back after.
    if (lineShown_) std::cerr << "\r\033[K";
    lineShown_ = false;
    std::cerr << line << '\n';
}

void TProgress::Add(size_t i, std::string line, bool ends) {
    if (i >= lines_.size()) return;
    if (!line.empty()) lines_[i].Text.push_back(std::move(line));
    lines_[i].Ended = lines_[i].Ended || ends;
    // A document's lines wait for every document before it, so they come in its order.
    while (shown_ < lines_.size() && (shown_ == i || lines_[shown_].Ended)) {
        for (const std::string& text : lines_[shown_].Text) Print(text);
        lines_[shown_].Text.clear();
        if (!lines_[shown_].Ended) break;
        ++shown_;
    }
}

void TProgress::Redraw(bool now) {
    if (!terminal_ || quiet_) return;
    const double t = platform_.Now();
    if (!now && lineShown_ && t - drawn_ < 0.1) return;
    drawn_ = t;
    const double spent = t - start_;
    std::string line = Grouped(done_) + "/" + Count(documents_, "document", "documents");
    if (failed_ > 0) line += ", " + Grouped(failed_) + " failed";
    line += ", " + Count(pictures_, "picture", "pictures");
    if (spent > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, ", %.1f MB/s",
                      static_cast<double>(bytesDone_) / 1e6 / spent);
        line += rate;
    }
    line += ", " + Duration(spent) + " spent";
    if (const double left = Left(t); left > 0) line += ", " + Duration(left) + " left";
    std::cerr << "\r\033[K" << line << std::flush;
    lineShown_ = true;
}

double TProgress::Left(double t) const {
    if (bytesDone_ == 0) return -1;
    if (bytes_ <= bytesDone_) return 0;
    const double spent = t - start_;
    return spent * static_cast<double>(bytes_ - bytesDone_) / static_cast<double>(bytesDone_);
}

size_t TProgress::Done() {
    std::lock_guard<std::mutex> lock(lock_);
    return done_;
}

double TProgress::SecondsLeft() {
    std::lock_guard<std::mutex> lock(lock_);
    return Left(platform_.Now());
}

void TProgress::Converted(size_t i, const std::string& input, const std::string& page, int pictures,
                          uint64_t bytes, const std::string& note) {
    std::lock_guard<std::mutex> lock(lock_);
    ++done_;
    pictures_ += static_cast<uint64_t>(pictures);
    bytesDone_ += bytes;
    std::string line;
    if (!terminal_ && !quiet_)
        line = encoding_.Shown(input) + " -> " + encoding_.Shown(page) + " (" +
               Count(static_cast<uint64_t>(pictures), "picture", "pictures") +
               (note.empty() ? "" : ", " + note) + ")";
    Add(i, std::move(line), true);
    Redraw(false);
}

void TProgress::Failed(size_t i, const std::string& input, const std::string& reason) {
    std::lock_guard<std::mutex> lock(lock_);
    ++done_;
    ++failed_;
    Add(i, "vornik2html: " + encoding_.Shown(input) + ": " + encoding_.Shown(reason), true);
    Redraw(true);
}

void TProgress::Noted(size_t i, const std::string& line) {
    std::lock_guard<std::mutex> lock(lock_);
    Add(i, terminal_ || quiet_ ? std::string() : encoding_.Shown(line), true);
}

void TProgress::Ended(size_t i) {
    std::lock_guard<std::mutex> lock(lock_);
    Add(i, "", true);
}

void TProgress::Warn(size_t i, const std::string& line) {
    std::lock_guard<std::mutex> lock(lock_);
    if (quiet_) return;
    Add(i, "vornik2html: " + encoding_.Shown(line), false);
    Redraw(true);
}

std::string TProgress::Summary(const TCallCounts& c) const {
    const double spent = platform_.Now() - start_;
    // Gone documents are pruned with --prune, and otherwise only taken off the index.
    const std::string gone = c.Prune      ? ", " + Grouped(c.Gone) + " pruned"
                             : c.Gone > 0 ? ", " + Grouped(c.Gone) + " gone"
                                          : "";
    const std::string failed =
        Grouped(failed_ + c.Skipped) + " failed" +
        (c.Skipped > 0 ? " (" + Grouped(c.Skipped) + " not tried again)" : "");
    const std::string tail = Count(pictures_, "picture", "pictures") + ", " + Duration(spent);
    if (!c.Update) {
        std::string line = Count(documents_, "document", "documents");
        if (failed_ > 0) line += ", " + Grouped(failed_) + " failed";
        return line + gone + ", " + tail;
    }
    const size_t converted = done_ - failed_;
    if (converted == 0 && failed_ + c.Skipped == 0 && c.Gone == 0 && c.Recorded == 0)
        return "nothing to do: " + Count(c.UpToDate, "document", "documents") + " up to date";
    std::string upToDate = Grouped(c.UpToDate) + " up to date";
    if (c.Recorded > 0) upToDate += " (" + Grouped(c.Recorded) + " recorded)";
    return Grouped(converted) + " converted, " + upToDate + ", " + failed + gone + ", " + tail;
}

void TProgress::Finish(const TCallCounts& counts) {
    std::lock_guard<std::mutex> lock(lock_);
    if (quiet_) return;
    Print(Summary(counts));
}

}  // namespace quill
