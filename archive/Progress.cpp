#include "archive/Progress.h"

#include <cstdio>
#include <iostream>

namespace quill {

TProgress::TProgress(size_t documents, uint64_t bytes, bool terminal, bool quiet, bool silent,
                     TPlatform& platform, const names::TNameEncoding& encoding)
    : documents_(documents),
      bytes_(bytes),
      terminal_(terminal),
      quiet_(quiet || silent),
      silent_(silent),
      platform_(platform),
      encoding_(encoding),
      start_(platform.Now()) {}

std::string TProgress::Count(uint64_t n, const std::string& one, const std::string& many) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped + " " + (n == 1 ? one : many);
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

void TProgress::Redraw(bool now) {
    if (!terminal_ || quiet_) return;
    const double t = platform_.Now();
    if (!now && lineShown_ && t - drawn_ < 0.1) return;
    drawn_ = t;
    const double spent = t - start_;
    std::string line = std::to_string(done_) + "/" + Count(documents_, "document", "documents");
    if (failed_ > 0) line += ", " + std::to_string(failed_) + " failed";
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

void TProgress::Converted(const std::string& input, const std::string& page, int pictures,
                          uint64_t bytes) {
    std::lock_guard<std::mutex> lock(lock_);
    ++done_;
    pictures_ += static_cast<uint64_t>(pictures);
    bytesDone_ += bytes;
    if (!terminal_ && !quiet_)
        Print(encoding_.Shown(input) + " -> " + encoding_.Shown(page) + " (" +
              Count(static_cast<uint64_t>(pictures), "picture", "pictures") + ")");
    Redraw(false);
}

void TProgress::Failed(const std::string& input, const std::string& reason) {
    std::lock_guard<std::mutex> lock(lock_);
    ++done_;
    ++failed_;
    Print("vornik2html: " + encoding_.Shown(input) + ": " + encoding_.Shown(reason));
    Redraw(true);
}

void TProgress::Warn(const std::string& line) {
    std::lock_guard<std::mutex> lock(lock_);
    if (quiet_) return;
    Print(encoding_.Shown(line));
    Redraw(true);
}

std::string TProgress::Summary() const {
    const double spent = platform_.Now() - start_;
    std::string line = Count(documents_, "document", "documents");
    if (failed_ > 0) line += ", " + std::to_string(failed_) + " failed";
    return line + ", " + Count(pictures_, "picture", "pictures") + ", " + Duration(spent);
}

void TProgress::Finish() {
    std::lock_guard<std::mutex> lock(lock_);
    if (quiet_) return;
    Print(Summary());
}

}  // namespace quill
