#include "support/TestSupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace quill::test {

TempDir::TempDir() {
    // Made new, never one that was there (as mkdtemp, which Windows lacks).
    std::mt19937 engine{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = std::filesystem::temp_directory_path() /
                ("quill-test-" + std::to_string(engine() % 1000000000));
        if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
    const std::u8string path = (path_ / PathOf(name)).u8string();
    return std::string(path.begin(), path.end());
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

Bytes ReadFileBytes(const std::string& fileName) {
    std::ifstream in(PathOf(fileName), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + fileName);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& fileName, const Bytes& bytes) {
    std::ofstream out(PathOf(fileName), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + fileName);
}

std::string ToString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

bool WindowsTools() {
    const char* folder = std::getenv("QUILL_WINDOWS_TOOLS");
    return folder != nullptr && *folder != '\0';
}

std::string ToolCommand(const std::string& name) {
    if (WindowsTools())
        return "wine '" + std::string(std::getenv("QUILL_WINDOWS_TOOLS")) + "/" + name + ".exe'";
    return "'" + std::string(QUILL_BINARY_DIR) + "/tools/" + name + "'";
}

#ifndef _WIN32
int RunTool(const std::string& command, const std::filesystem::path& out,
            const std::filesystem::path& err) {
    const auto empty = [](const std::filesystem::path& file) {
        std::error_code error;
        return std::filesystem::file_size(file, error) == 0 && !error;
    };
    int raw = std::system(command.c_str());
    if (WindowsTools() && WIFEXITED(raw) && WEXITSTATUS(raw) == 1 && empty(out) && empty(err)) {
        std::fprintf(stderr, "wine ended with 1 and printed nothing; once more: %s\n",
                     command.c_str());
        raw = std::system(command.c_str());
    }
    return raw;
}
#endif

std::string PngcheckErrors(const std::vector<std::string>& files) {
    const TempDir dir;
    std::string command = "pngcheck -q";
    for (const std::string& f : files) command += " '" + f + "'";
    command += " > '" + dir.File("out") + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string out = ToString(ReadFileBytes(dir.File("out")));
    return status == 0 ? "" : "pngcheck: status " + std::to_string(status) + "\n" + out;
}

std::filesystem::path PngSuiteDir() {
    const std::filesystem::path dir =
        std::filesystem::path(QUILL_SOURCE_DIR) / ".." / "shared" / "testdata" / "pngsuite";
    return std::filesystem::is_directory(dir) ? dir : std::filesystem::path();
}

}  // namespace quill::test
