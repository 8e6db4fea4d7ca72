#pragma once

#include <string>
#include <vector>

namespace quill {

// An ordered list of byte strings (diagnostic lines, for one).
class TStringList {
  public:
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Clear() { lines_.clear(); }
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)); }
    const std::vector<std::string>& Strings() const { return lines_; }
    // The lines joined, each followed by a line break.
    std::string Text() const {
        std::string text;
        for (const auto& line : lines_) text += line + "\n";
        return text;
    }

  private:
    std::vector<std::string> lines_;
};

}  // namespace quill
