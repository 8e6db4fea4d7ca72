#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

// Another program run beside this one and talked to through two descriptors of its own:
// it reads what Write sends on inputFd and writes what ReadUntil gets on outputFd (0 and
// 1, or say 3 and 4). Its other descriptors 0-2 read nothing and write into errorFile
// (or nowhere). A child still running when the object goes is killed and waited for.
class TChildProcess {
  public:
    // program: a path, or a name looked for on PATH. Fails with Exception naming the
    // program and the system's reason.
    TChildProcess(const std::string& program, const std::vector<std::string>& args, int inputFd = 0,
                  int outputFd = 1, const std::string& errorFile = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Fails with Exception when the child no longer reads (never with SIGPIPE).
    void Write(std::string_view bytes);
    // What the child writes up to and including the first byte end; nullopt when its
    // output ends first (what came before is then lost).
    std::optional<std::string> ReadUntil(char end);
    // Ends the child's input, waits for it to end and answers its exit status (128 + the
    // signal for one that a signal ended).
    int Wait();

    // The first file named name in a folder of PATH that may be run; empty when none.
    static std::string FindOnPath(const std::string& name);
    // Empty where other programs can be started; else why not (the Windows build).
    static std::string CannotStart();

  private:
    std::string program_;
    pid_t pid_ = -1;
    int input_ = -1;       // ours: the child reads what is written here
    int output_ = -1;      // ours: what the child writes
    std::string pending_;  // read past the last byte ReadUntil answered
};

}  // namespace quill
