#include "convert/StandardStreams.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/Exception.h"
#include "platform/RecordFile.h"

namespace quill {

void TStdoutPage::CopyToStdout() const {
    TRecordFile page;
    page.Assign(file_.Name());
    page.Reset();
    for (std::string_view ahead = page.Buffered(); !ahead.empty(); ahead = page.Buffered()) {
        for (size_t done = 0; done < ahead.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, ahead.data() + done, ahead.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw EWriteError(std::string("Cannot write standard output: ") +
                                  std::strerror(n < 0 ? errno : EIO));
            done += static_cast<size_t>(n);
        }
        page.Consume(ahead.size());
    }
    page.Close();
}

}  // namespace quill
