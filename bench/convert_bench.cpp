// Converts a generated 64 MiB text document (cp866 text, colour codes, entities, no
// pictures) into the classic and into the modern page and, in the same run, reads the
// same file with `cat FILE > /dev/null`; prints the times and two ratios. The classic
// conversion should take at most five times as long as the plain read, the modern one
// at most 1.5 times as long as the classic one. The ratio is taken on processor time (user +
// system), best of several rounds: the machine may be busy with other work, and waiting for a
// processor is no part of either side's cost.
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "convert/ByteScan.h"
#include "convert/ConversionRun.h"
#include "convert/FixedAnswers.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"

using namespace quill;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kDocumentSize = 64u << 20;
constexpr int kRounds = 15;
constexpr double kTarget = 5.0;
constexpr double kModernTarget = 1.5;

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

double Best(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Processor time of this process or of its finished children, in user space and in the
// system (reading the file, and for the conversion writing the page).
struct TCpu {
    double user = 0;
    double system = 0;
    double Total() const { return user + system; }
};

TCpu CpuSeconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {seconds(u.ru_utime), seconds(u.ru_stime)};
}

TCpu operator-(const TCpu& a, const TCpu& b) {
    return {a.user - b.user, a.system - b.system};
}

// `cat file > /dev/null`, started directly (no shell, whose own start would count on
// cat's side); answers whether it succeeded.
bool Cat(const std::string& file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"cat", file.c_str(), nullptr};
    pid_t pid = 0;
    const int error =
        ::posix_spawnp(&pid, "cat", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return error == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Keeps this process, and so the cat it starts, on the processor it runs on now: on a
// virtual machine the processors may differ in speed, and each side should be measured
// on the same one.
void StayOnThisProcessor() {
    const int cpu = ::sched_getcpu();
    if (cpu < 0) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::sched_setaffinity(0, sizeof set, &set);
}

}  // namespace

int main() {
    StayOnThisProcessor();
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

    // Processor and elapsed time of each round, each side.
    std::vector<double> convertCpu, convertElapsed, modernCpu, modernElapsed, catCpu, catElapsed;
    // Where the processor is wider, both pages again at the AVX2 width that many machines
    // stop at.
    const bool alsoAvx2 = ProcessorFeatures().Width > TVectorWidth::Avx2;
    std::vector<double> convertAvx2, modernAvx2, unused;
    bool catOk = Cat(input);  // warms the page cache
    const auto convert = [&](bool html5, std::vector<double>& cpu, std::vector<double>& elapsed,
                             TVectorWidth widest = TVectorWidth::Avx512) {
        TFixedOptions options(true, false, false);
        TNamedFiles files(input, page);
        TConversionRun run(options, files, TPageStyle::Quilloc,
                           TRunSettings{.Html5 = html5, .Widest = widest});
        // A new page each round: dropping the last round's page is not part of the run.
        std::filesystem::remove(page);
        const TCpu c0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = Clock::now();
        run.Run();
        elapsed.push_back(Seconds(Clock::now() - t0));
        cpu.push_back((CpuSeconds(RUSAGE_SELF) - c0).Total());
    };
    double modernPageMib = 0;
    for (int round = 0; round < kRounds; ++round) {
        convert(true, modernCpu, modernElapsed);
        modernPageMib = static_cast<double>(std::filesystem::file_size(page)) / (1 << 20);
        convert(false, convertCpu, convertElapsed);
        if (alsoAvx2) {
            convert(true, modernAvx2, unused, TVectorWidth::Avx2);
            convert(false, convertAvx2, unused, TVectorWidth::Avx2);
        }
        const TCpu c1 = CpuSeconds(RUSAGE_CHILDREN);
        const auto t1 = Clock::now();
        catOk = Cat(input) && catOk;
        catElapsed.push_back(Seconds(Clock::now() - t1));
        catCpu.push_back((CpuSeconds(RUSAGE_CHILDREN) - c1).Total());
    }
    const double pageMib = static_cast<double>(std::filesystem::file_size(page)) / (1 << 20);
    std::filesystem::remove_all(folder);
    if (!catOk) {
        std::fprintf(stderr, "convert_bench: cat failed\n");
        return 1;
    }

    std::printf("document %.1f MiB -> page %.1f MiB, modern page %.1f MiB, %d rounds\n", mib,
                pageMib, modernPageMib, kRounds);
    // (How the time splits into user and system time is sampled by the system at its
    // clock ticks: too coarse for runs this short, so only the sum is shown.)
    auto line = [&](const char* what, std::vector<double>& cpu, std::vector<double>& elapsed) {
        std::printf(
            "%-8s processor best %5.1f ms median %5.1f ms (%5.0f MiB/s)   elapsed best %.1f ms\n",
            what, Best(cpu) * 1e3, Median(cpu) * 1e3, mib / Median(cpu), Best(elapsed) * 1e3);
    };
    line("convert", convertCpu, convertElapsed);
    line("--html5", modernCpu, modernElapsed);
    line("cat", catCpu, catElapsed);
    const double bestRatio = Best(convertCpu) / Best(catCpu);
    const double medianRatio = Median(convertCpu) / Median(catCpu);
    std::printf("ratio convert/cat on processor time: best %.2f, median %.2f; target <= %.0f: %s\n",
                bestRatio, medianRatio, kTarget, medianRatio <= kTarget ? "met" : "NOT met");
    const double modernRatio = Median(modernCpu) / Median(convertCpu);
    std::printf(
        "ratio --html5/classic on processor time: best %.2f, median %.2f; target <= %.1f: "
        "%s\n",
        Best(modernCpu) / Best(convertCpu), modernRatio, kModernTarget,
        modernRatio <= kModernTarget ? "met" : "NOT met");
    if (alsoAvx2) {
        const double avx2Ratio = Median(modernAvx2) / Median(convertAvx2);
        std::printf(
            "ratio --html5/classic at the AVX2 width: median %.2f (%.1f / %.1f ms); "
            "target <= %.1f: %s\n",
            avx2Ratio, Median(modernAvx2) * 1e3, Median(convertAvx2) * 1e3, kModernTarget,
            avx2Ratio <= kModernTarget ? "met" : "NOT met");
    }
    return 0;
}
