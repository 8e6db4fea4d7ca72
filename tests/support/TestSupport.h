#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ProcessorFeatures.h"

namespace quill::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// Names are UTF-8 on every system (a std::string path is the code page's on Windows).
std::filesystem::path PathOf(const std::string& utf8);

Bytes ReadFileBytes(const std::string& fileName);
void WriteFileBytes(const std::string& fileName, const Bytes& bytes);
std::string ToString(const Bytes& bytes);
Bytes ToBytes(const std::string& text);

// Every vector width this processor can run, narrowest first.
inline std::vector<TVectorWidth> AllWidths() {
    std::vector<TVectorWidth> widths;
    for (int w = 0; w <= static_cast<int>(ProcessorFeatures().Width); ++w)
        widths.push_back(static_cast<TVectorWidth>(w));
    return widths;
}

// The command that runs one of the project's programs ("vornik2html"), as shell words: the
// build's own, or with QUILL_WINDOWS_TOOLS=FOLDER (scripts/test-windows) the Windows
// build's FOLDER/NAME.exe under Wine.
std::string ToolCommand(const std::string& name);
// Whether ToolCommand runs the Windows programs.
bool WindowsTools();
// Runs a shell command that sends a program's streams to the files out and err, and gives
// std::system's status. Under Wine, a run that ends with 1 and leaves both empty is made
// once more (Wine was seen to end so on its own; ours always say why). Not on Windows.
int RunTool(const std::string& command, const std::filesystem::path& out,
            const std::filesystem::path& err);

// What pngcheck finds wrong with the files: "" when it passes every one of them.
std::string PngcheckErrors(const std::vector<std::string>& files);

// The third-party PNG test suite beside the project, or an empty path when absent.
std::filesystem::path PngSuiteDir();

}  // namespace quill::test
