#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// The K-th of N fixed shares of an archive's documents, chosen by each document's path
// relative to its INPUT alone: machines that walk the same archive, in whatever order,
// split it the same way, and every document falls in exactly one share.
class TShard {
  public:
    TShard(unsigned k, unsigned n) : k_(k), n_(n) {}
    // "K/N" with 1 <= K <= N; nothing for anything else.
    static std::optional<TShard> Parse(std::string_view text);
    bool Contains(std::string_view relativePath) const;
    unsigned K() const { return k_; }
    unsigned N() const { return n_; }

  private:
    unsigned k_;
    unsigned n_;
};

}  // namespace quill
