#pragma once

#include <string>
#include <vector>

namespace quill::windows {

// What a command-line program does first on Windows. Its arguments come from the wide
// command line as UTF-8 (argc and argv are replaced, their strings kept by the object), so
// that "C:\Архив\обзор.$w" arrives whole; standard input, output and error are put into
// binary mode, so that a page on standard output has the bytes it has on Linux; and the
// console shows UTF-8 while the program runs. A program started with a console of its own
// (from Explorer: a double click, or files dropped on it) waits for a key before it ends,
// so that its window stays until what it said has been read.
class TWindowsStart {
  public:
    TWindowsStart(int& argc, char**& argv);
    TWindowsStart(const TWindowsStart&) = delete;
    TWindowsStart& operator=(const TWindowsStart&) = delete;

    // Started from Explorer rather than from a console that was already there.
    bool OwnConsole() const { return ownConsole_; }
    // The arguments after the program's name.
    std::vector<std::string> Arguments() const;

  private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
    bool ownConsole_ = false;
};

// Whether standard error is a console that takes a live status line ("\r" and the
// terminal's erase to the end of the line), which is then turned on.
bool ErrorIsTerminal();

// Ctrl-C, Ctrl-Break and closing the console (or logging off) end the program at once
// with exit status 130, as Ctrl-C does on Linux, after removing the temporary files of
// the documents in progress; finished documents stay. first, when given, runs on the
// first interrupt before that (the call writing the index pages of what finished); an
// interrupt while it runs ends the program at once.
void RemoveTemporaryFilesOnInterrupt(void (*first)() = nullptr);

}  // namespace quill::windows
