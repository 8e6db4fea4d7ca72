#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Exception.h"

extern char** environ;

namespace quill {

namespace {

// Our ends live above the descriptors a child is given, so that no dup2 of the child's
// overwrites one before it is used.
constexpr int kHighDescriptor = 10;

[[noreturn]] void Fail(const std::string& program, const std::string& what, int error) {
    const std::string reason = std::strerror(error);
    throw Exception("Cannot " + what + " \"" + program + "\": " + reason, program, reason);
}

// A connected pair, both ends close-on-exec and above the low descriptors. A socket pair
// rather than a pipe: sending to a child that has gone fails with EPIPE instead of
// raising SIGPIPE.
void Pair(const std::string& program, int& ours, int& theirs) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        Fail(program, "start", errno);
    ours = ::fcntl(fds[0], F_DUPFD_CLOEXEC, kHighDescriptor);
    theirs = ::fcntl(fds[1], F_DUPFD_CLOEXEC, kHighDescriptor);
    const int error = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    if (ours < 0 || theirs < 0) {
        if (ours >= 0) ::close(ours);
        if (theirs >= 0) ::close(theirs);
        Fail(program, "start", error);
    }
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& args,
                             int inputFd, int outputFd, const std::string& errorFile)
    : program_(program) {
    std::string path = program;
    if (program.find('/') == std::string::npos) {
        path = FindOnPath(program);
        if (path.empty()) Fail(program, "run", ENOENT);
    }
    int childInput = -1;
    int childOutput = -1;
    Pair(program, input_, childInput);
    try {
        Pair(program, output_, childOutput);
    } catch (...) {
        ::close(input_);
        ::close(childInput);
        input_ = -1;
        throw;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) {
        const bool error = fd == 2 && !errorFile.empty();
        posix_spawn_file_actions_addopen(&actions, fd, error ? errorFile.c_str() : "/dev/null",
                                         fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_adddup2(&actions, childInput, inputFd);
    posix_spawn_file_actions_adddup2(&actions, childOutput, outputFd);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(childInput);
    ::close(childOutput);
    if (error != 0) {
        ::close(input_);
        ::close(output_);
        input_ = output_ = -1;
        pid_ = -1;
        Fail(program, "run", error);
    }
}

TChildProcess::~TChildProcess() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    Wait();
    if (output_ >= 0) ::close(output_);
}

void TChildProcess::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(input_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(program_, "write to", errno);
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

std::optional<std::string> TChildProcess::ReadUntil(char end) {
    for (size_t from = 0;;) {
        const size_t at = pending_.find(end, from);
        if (at != std::string::npos) {
            std::string line = pending_.substr(0, at + 1);
            pending_.erase(0, at + 1);
            return line;
        }
        from = pending_.size();
        char buffer[65536];
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(program_, "read from", errno);
        if (n == 0) {
            pending_.clear();
            return std::nullopt;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

int TChildProcess::Wait() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
    if (pid_ <= 0) return -1;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string TChildProcess::CannotStart() {
    return {};
}

std::string TChildProcess::FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = folders.find(':');
        std::string_view folder = folders.substr(0, colon);
        if (folder.empty()) folder = ".";
        std::string candidate;
        candidate.reserve(folder.size() + 1 + name.size());
        candidate.append(folder).append(1, '/').append(name);
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) return {};
        folders.remove_prefix(colon + 1);
    }
}

}  // namespace quill
