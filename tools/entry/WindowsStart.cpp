#include "tools/entry/WindowsStart.h"

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/StagedFiles.h"
#include "platform/WindowsText.h"

namespace quill::windows {

namespace {

UINT gConsoleOutput = 0;  // the console's code page before ours, to give back
bool gWaitAtExit = false;

void AtExit() {
    if (gWaitAtExit) {
        std::fflush(stdout);
        std::fputs("\nPress any key to close this window.\n", stderr);
        (void)_getch();
    }
    if (gConsoleOutput != 0) SetConsoleOutputCP(gConsoleOutput);
}

bool IsConsole(DWORD handle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(handle), &mode) != 0;
}

std::atomic<void (*)()> gFirstInterrupt{nullptr};
std::atomic<bool> gInterrupted{false};

BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Run on a thread of its own; the lock taken here waits for a document that
            // is putting its files in place, and is never given back. Only the first
            // interrupt waits for the index pages of what finished.
            if (!gInterrupted.exchange(true))
                if (void (*first)() = gFirstInterrupt.load()) first();
            TStagedFiles::AbandonAllForExit();
            TerminateProcess(GetCurrentProcess(), 130);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

TWindowsStart::TWindowsStart(int& argc, char**& argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) arguments_.push_back(Narrow(wide[i]));
        LocalFree(wide);
        for (std::string& a : arguments_) pointers_.push_back(a.data());
        pointers_.push_back(nullptr);
        argc = count;
        argv = pointers_.data();
    }
    for (FILE* stream : {stdin, stdout, stderr}) _setmode(_fileno(stream), _O_BINARY);
    // Only this process on its console: Explorer made it for us. A key can then be
    // waited for when all three streams are that console.
    DWORD processes[2] = {};
    ownConsole_ = GetConsoleProcessList(processes, 2) == 1;
    gWaitAtExit = ownConsole_ && IsConsole(STD_INPUT_HANDLE) && IsConsole(STD_OUTPUT_HANDLE) &&
                  IsConsole(STD_ERROR_HANDLE);
    if (IsConsole(STD_OUTPUT_HANDLE) || IsConsole(STD_ERROR_HANDLE)) {
        gConsoleOutput = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
    std::atexit(AtExit);
}

std::vector<std::string> TWindowsStart::Arguments() const {
    return arguments_.empty() ? arguments_
                              : std::vector<std::string>(arguments_.begin() + 1, arguments_.end());
}

bool ErrorIsTerminal() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(error, &mode) &&
           SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void RemoveTemporaryFilesOnInterrupt(void (*first)()) {
    gFirstInterrupt = first;
    SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace quill::windows
