// TChildProcess on Windows: not started. The only program the core runs beside itself is
// the search index's Pagefind, whose service talks over descriptors that a Windows
// process is not given; a search index is built on Linux.
#include <windows.h>

#include "platform/ChildProcess.h"
#include "platform/Exception.h"
#include "platform/WindowsText.h"

namespace quill {

namespace {
constexpr const char* kNotHere = "this build for Windows does not start other programs";
}

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>&, int, int,
                             const std::string&)
    : program_(program) {
    throw Exception("Cannot run \"" + program + "\": " + kNotHere, program, kNotHere);
}

TChildProcess::~TChildProcess() = default;

void TChildProcess::Write(std::string_view) {}

std::optional<std::string> TChildProcess::ReadUntil(char) {
    return std::nullopt;
}

int TChildProcess::Wait() {
    return -1;
}

std::string TChildProcess::CannotStart() {
    return kNotHere;
}

std::string TChildProcess::FindOnPath(const std::string& name) {
    const wchar_t* path = _wgetenv(L"PATH");
    std::wstring_view folders = path != nullptr ? path : L"";
    const std::wstring wide = Widen(name);
    while (!folders.empty()) {
        const size_t end = std::min(folders.find(L';'), folders.size());
        const std::wstring folder(folders.substr(0, end));
        folders.remove_prefix(std::min(end + 1, folders.size()));
        for (const wchar_t* extension : {L".exe", L".cmd", L""}) {
            const std::wstring candidate = folder + L"\\" + wide + extension;
            const DWORD attributes = GetFileAttributesW(candidate.c_str());
            if (!folder.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
                !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return Narrow(candidate);
        }
    }
    return {};
}

}  // namespace quill
