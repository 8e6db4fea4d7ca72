// pnginspect [--bmp OUT.bmp] FILE...   (or --help, --version)
//
// Loads each FILE into a fresh TPNG and prints the reader's log as UTF-8 (with a header
// line naming the file when there are several). With --bmp (one FILE only) the bitmap as
// the load left it is written as a BMP file by the bitmap's own writer.
// Exit status: 0 when every load ran (problems the reader only logs, such as a wrong
// signature or a CRC error, included), 1 when a load or the BMP write raised an error,
// 2 for a wrong command line.

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "png/Png.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

// Converts the reader's Windows-1251 log lines to UTF-8 for the terminal.
class TLogConverter {
  public:
    TLogConverter() : cd_(iconv_open("UTF-8", "WINDOWS-1251")) {}
    ~TLogConverter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    TLogConverter(const TLogConverter&) = delete;
    TLogConverter& operator=(const TLogConverter&) = delete;

    std::string ToUtf8(const std::string& line) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return line;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        std::vector<char> buffer(line.size() * 4 + 16);
        char* in = const_cast<char*>(line.data());
        size_t inLeft = line.size();
        while (inLeft > 0) {
            char* dst = buffer.data();
            size_t dstLeft = buffer.size();
            const size_t rc = iconv(cd_, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer.data(), buffer.size() - dstLeft);
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
                // A byte the code page leaves undefined: show it as a replacement mark.
                out += "\xEF\xBF\xBD";
                ++in;
                --inLeft;
            }
        }
        return out;
    }

  private:
    iconv_t cd_;
};

// Prints a line byte for byte: a tEXt line holds a zero byte between keyword and text.
void PrintLine(TLogConverter& converter, const std::string& line) {
    const std::string text = converter.ToUtf8(line) + "\n";
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

    TLogConverter converter;
    int status = 0;
    for (const std::string& file : files) {
        if (files.size() > 1) std::printf("==> %s <==\n", file.c_str());
        quill::TPNG png;
        try {
            png.LoadFromFile(file);
        } catch (const std::exception& e) {
            for (const std::string& line : png.Log().Strings()) PrintLine(converter, line);
            std::fflush(stdout);
            std::fprintf(stderr, "pnginspect: %s: %s\n", file.c_str(), e.what());
            status = 1;
            continue;
        }
        for (const std::string& line : png.Log().Strings()) PrintLine(converter, line);
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
