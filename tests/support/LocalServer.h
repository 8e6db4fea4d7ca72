#pragma once

#include <string>

#include "platform/ChildProcess.h"

namespace quill::test {

// A folder served over HTTP on 127.0.0.1, on a port the system chose, for as long as the
// object lives: a browser then loads a page as a reader's does, not from a file.
class TLocalServer {
  public:
    // Python's server prints "Serving HTTP on 127.0.0.1 port N (http://...) ..." first.
    explicit TLocalServer(const std::string& folder)
        : server_("python3",
                  {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder}) {
        const std::string serving = server_.ReadUntil('\n').value_or("");
        const size_t port = serving.find(" port ");
        if (port == std::string::npos) return;
        root_ =
            "http://127.0.0.1:" + serving.substr(port + 6, serving.find(' ', port + 6) - port - 6);
    }

    // "http://127.0.0.1:N", the folder's address; empty when the server did not start.
    const std::string& Root() const { return root_; }

  private:
    TChildProcess server_;
    std::string root_;
};

}  // namespace quill::test
