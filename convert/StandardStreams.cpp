#include "convert/StandardStreams.h"

#include <string_view>

#include "platform/Exception.h"
#include "platform/RecordFile.h"

namespace quill {

void TStdoutPage::CopyToStdout() const {
    TRecordFile page(platform_);
    page.Assign(file_.Name());
    page.Reset();
    for (std::string_view ahead = page.Buffered(); !ahead.empty(); ahead = page.Buffered()) {
        if (const int error = platform_.WriteStandardOutput(ahead.data(), ahead.size()))
            throw EWriteError("Cannot write standard output: " + TPlatform::Reason(error));
        page.Consume(ahead.size());
    }
    page.Close();
}

}  // namespace quill
