// pnginspect [--bmp OUT.bmp] FILE...   (or --help, --version)
//
// Loads each FILE into a fresh TPNG and prints the reader's log as UTF-8 (with a header
// line naming the file when there are several). With --bmp (one FILE only) the bitmap as
// the load left it is written as a BMP file by the bitmap's own writer.
// Exit status: 0 when every load ran (problems the reader only logs, such as a wrong
// signature or a CRC error, included), 1 when a load or the BMP write raised an error,
// 2 for a wrong command line.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Exception.h"
#include "png/Png.h"
#ifdef _WIN32
#include "tools/entry/WindowsStart.h"
#endif

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

// The reader's Windows-1251 log line in UTF-8 for the terminal; the one byte the code
// page leaves undefined shows as a replacement mark.
std::string ToUtf8(const std::string& line) {
    std::string out;
    for (const char c : line) {
        const char32_t u = quill::codepage::Windows1251(static_cast<uint8_t>(c));
        out += c != 0 && u == 0 ? "\xEF\xBF\xBD" : quill::codepage::Utf8(u);
    }
    return out;
}

// Prints a line byte for byte: a tEXt line holds a zero byte between keyword and text.
void PrintLine(const std::string& line) {
    const std::string text = ToUtf8(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

constexpr const char* kUsage = "Usage: pnginspect [--bmp OUT.bmp] FILE...\n";

constexpr const char* kHelp =
    "Loads each PNG FILE with the program's own reader and prints the reader's log: chunks,\n"
    "header fields, inflated size, row filters met, CRC errors. With several files each log\n"
    "starts with a \"==> FILE <==\" line.\n"
    "\n"
    "  --bmp OUT.bmp     also write the loaded bitmap as an uncompressed BMP (one FILE only)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 every load ran (even if the reader only logged problems), 1 a load or\n"
    "the BMP write failed, 2 wrong command line.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    const quill::windows::TWindowsStart start(argc, argv);
#endif
    std::string bmpName;
    std::vector<std::string> files;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        } else if (arg == "--version") {
            std::printf("pnginspect %s\n", QUILL_VERSION);
            return 0;
        } else if (arg == "--bmp") {
            if (a + 1 >= argc || !bmpName.empty()) return Usage();
            bmpName = argv[++a];
        } else if (arg == "--") {
            for (++a; a < argc; ++a) files.emplace_back(argv[a]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty() || (!bmpName.empty() && files.size() != 1)) return Usage();

    int status = 0;
    for (const std::string& file : files) {
        if (files.size() > 1) std::printf("==> %s <==\n", file.c_str());
        quill::TPNG png;
        try {
            png.LoadFromFile(file);
        } catch (const std::exception& e) {
            for (const std::string& line : png.Log().Strings()) PrintLine(line);
            std::fflush(stdout);
            std::fprintf(stderr, "pnginspect: %s: %s\n", file.c_str(), e.what());
            status = 1;
            continue;
        }
        for (const std::string& line : png.Log().Strings()) PrintLine(line);
        if (!bmpName.empty()) {
            try {
                png.quill::TBitmap::SaveToFile(bmpName);
            } catch (const std::exception& e) {
                std::fflush(stdout);
                std::fprintf(stderr, "pnginspect: %s: %s\n", bmpName.c_str(), e.what());
                status = 1;
            }
        }
    }
    return status;
}
