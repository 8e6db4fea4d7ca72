// Converts a generated 64 MiB text document (cp866 text, colour codes, entities, no
// pictures) and, in the same run, reads the same file with `cat`; prints both times and
// their ratio. The conversion should take at most five times as long as the plain read.
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "convert/ConversionRun.h"
#include "convert/RunSeams.h"

using namespace quill;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kDocumentSize = 64u << 20;
constexpr int kRounds = 3;

std::string Document(size_t size) {
    std::mt19937 gen(866);
    // Cyrillic letters of cp866: 0x80-0xAF and 0xE0-0xEF.
    auto letter = [&] {
        const unsigned v = gen() % 64;
        return static_cast<char>(v < 48 ? 0x80 + v : 0xE0 + (v - 48));
    };
    const char* specials[] = {"<", ">", "~", "\x7f", "&", "\""};
    std::string doc;
    doc.reserve(size + 256);
    while (doc.size() < size) {
        const int words = 4 + static_cast<int>(gen() % 10);
        for (int w = 0; w < words; ++w) {
            const unsigned kind = gen() % 20;
            if (kind == 0) doc.push_back(static_cast<char>(1 + gen() % 7));  // colour
            if (kind == 1) doc.push_back('\x08');                            // end of colour
            if (kind == 2) doc += specials[gen() % 6];
            const int len = 2 + static_cast<int>(gen() % 9);
            for (int i = 0; i < len; ++i)
                doc.push_back(gen() % 8 == 0 ? static_cast<char>('a' + gen() % 26) : letter());
            doc.push_back(w + 1 < words ? ' ' : (gen() % 9 == 0 ? ',' : '.'));
        }
        if (gen() % 10 == 0) doc.push_back(static_cast<char>(1 + gen() % 7));  // line colour
        doc.push_back('\r');
        if (gen() % 4 == 0) doc.push_back('\n');
    }
    return doc;
}

class TOptions : public TOptionsSource {
  public:
    bool UseColorsChecked() override { return true; }
    bool Pitch42Checked() override { return false; }
    bool UseBmpChecked() override { return false; }
};

class TFiles : public TFileChooser {
  public:
    TFiles(std::string in, std::string out) : in_(std::move(in)), out_(std::move(out)) {}
    bool ChooseInput(std::string& f) override {
        f = in_;
        return true;
    }
    bool ChooseOutput(const std::string&, std::string& f) override {
        f = out_;
        return true;
    }

  private:
    std::string in_, out_;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Processor time (user + system) of this process or of its finished children: the
// machine may be shared, and waiting for a processor is no part of either side's cost.
double CpuSeconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
    std::string folder = (std::filesystem::temp_directory_path() / "quill-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string input = folder + "/obzor.txt";
    const std::string page = folder + "/obzor.htm";
    {
        const std::string doc = Document(kDocumentSize);
        std::ofstream(input, std::ios::binary).write(doc.data(), static_cast<long>(doc.size()));
    }
    const double mib = static_cast<double>(std::filesystem::file_size(input)) / (1 << 20);
    const std::string cat = "cat '" + input + "' > /dev/null";

    double bestConvert = 1e9;
    double bestCat = 1e9;
    double bestConvertCpu = 1e9;
    double bestCatCpu = 1e9;
    int status = 0;
    status |= std::system(cat.c_str());  // warm the page cache
    for (int round = 0; round < kRounds; ++round) {
        TOptions options;
        TFiles files(input, page);
        TConversionRun run(options, files);
        // A new page each round: dropping the last round's page is not part of the run.
        std::filesystem::remove(page);
        const double c0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = Clock::now();
        run.Button1Click();
        bestConvert = std::min(bestConvert, Seconds(Clock::now() - t0));
        bestConvertCpu = std::min(bestConvertCpu, CpuSeconds(RUSAGE_SELF) - c0);
        const double c1 = CpuSeconds(RUSAGE_CHILDREN);
        const auto t1 = Clock::now();
        status |= std::system(cat.c_str());
        bestCat = std::min(bestCat, Seconds(Clock::now() - t1));
        bestCatCpu = std::min(bestCatCpu, CpuSeconds(RUSAGE_CHILDREN) - c1);
    }
    const double pageMib = static_cast<double>(std::filesystem::file_size(page)) / (1 << 20);
    std::filesystem::remove_all(folder);
    if (status != 0) {
        std::fprintf(stderr, "convert_bench: cat failed\n");
        return 1;
    }

    std::printf("document %.1f MiB -> page %.1f MiB, best of %d\n", mib, pageMib, kRounds);
    std::printf("convert  %8.1f ms  %7.0f MiB/s  (processor time %.1f ms)\n", bestConvert * 1e3,
                mib / bestConvert, bestConvertCpu * 1e3);
    std::printf("cat      %8.1f ms  %7.0f MiB/s  (processor time %.1f ms, shell included)\n",
                bestCat * 1e3, mib / bestCat, bestCatCpu * 1e3);
    std::printf("ratio convert/cat: %.2f elapsed, %.2f processor time (target <= 5)\n",
                bestConvert / bestCat, bestConvertCpu / bestCatCpu);
    return 0;
}
