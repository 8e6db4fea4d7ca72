#include "support/FailingClose.h"

#include <cerrno>
#include <utility>

namespace {
int NextCloseError = 0;
int ClosesToPass = 0;
}  // namespace

void quill::test::FailNextClose(int error, int skip) {
    NextCloseError = error;
    ClosesToPass = skip;
}

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
    if (NextCloseError != 0 && ClosesToPass > 0) {
        --ClosesToPass;
        return __real_close(fd);
    }
    const int error = std::exchange(NextCloseError, 0);
    const int result = __real_close(fd);
    if (error == 0) return result;
    errno = error;
    return -1;
}
