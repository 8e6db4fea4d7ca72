// vornik2html: converts Vornik documents into web pages from the command line.
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/ConversionRun.h"
#include "convert/FixedAnswers.h"
#include "convert/OrderedCommits.h"
#include "convert/RunSeams.h"
#include "platform/FileIdentity.h"
#include "platform/StagedFiles.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

using namespace quill;

constexpr const char* kUsage =
    "usage: vornik2html [--colors] [--pitch42] [--bmp] [--style quilloc|quillo]\n"
    "                   [-o PAGE.htm | -d DIR] [-j N] [-q] INPUT...\n";

constexpr const char* kHelp =
    "Converts Vornik documents into web pages, with one picture file for every distinct\n"
    "picture beside its page.\n"
    "\n"
    "  --colors          coloured text on a dark page (default: bold, italic and underline\n"
    "                    on a light page)\n"
    "  --pitch42         25-pixel lines (default: 17 pixels)\n"
    "  --bmp             pictures as 4-bit BMP files (default: PNG)\n"
    "  --style STYLE     quilloc (default) or quillo: always colours on a dark page\n"
    "  -o PAGE.htm       the page to write (one INPUT only)\n"
    "  -d DIR            write each page as DIR/NAME.htm, NAME being the document's name\n"
    "                    up to its first \".\" (default DIR: the current folder)\n"
    "  -j N              convert up to N documents at a time (default: number of cores)\n"
    "  -q                no line for each converted document\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 all converted, 1 some failed, 2 wrong command line.\n";

struct TSettings {
    bool colors = false;
    bool pitch42 = false;
    bool bmp = false;
    TPageStyle style = TPageStyle::Quilloc;
    std::optional<std::string> page;
    std::optional<std::string> dir;
    unsigned jobs = 0;
    bool quiet = false;
    std::vector<std::string> inputs;
};

[[noreturn]] void UsageError(const std::string& message) {
    std::cerr << "vornik2html: " << message << "\n" << kUsage;
    std::exit(2);
}

TSettings ParseCommandLine(int argc, char** argv) {
    TSettings s;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) UsageError(arg + " needs " + what);
            return argv[++i];
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            s.inputs.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << "\n" << kHelp;
            std::exit(0);
        } else if (arg == "--version") {
            std::cout << "vornik2html " << QUILL_VERSION << "\n";
            std::exit(0);
        } else if (arg == "--colors") {
            s.colors = true;
        } else if (arg == "--pitch42") {
            s.pitch42 = true;
        } else if (arg == "--bmp") {
            s.bmp = true;
        } else if (arg == "--style") {
            const std::string style = value("a style");
            if (style == "quilloc")
                s.style = TPageStyle::Quilloc;
            else if (style == "quillo")
                s.style = TPageStyle::Quillo;
            else
                UsageError("unknown style \"" + style + "\"");
        } else if (arg == "-o") {
            if (s.page) UsageError("-o given twice");
            s.page = value("a page name");
        } else if (arg == "-d") {
            if (s.dir) UsageError("-d given twice");
            s.dir = value("a folder");
        } else if (arg == "-j") {
            const std::string n = value("a number");
            char* end = nullptr;
            const long jobs = std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || jobs < 1 || jobs > 1024)
                UsageError("-j needs a number from 1 to 1024, not \"" + n + "\"");
            s.jobs = static_cast<unsigned>(jobs);
        } else if (arg == "-q") {
            s.quiet = true;
        } else {
            UsageError("unknown option " + arg);
        }
    }
    if (s.inputs.empty()) UsageError("no INPUT given");
    if (s.page && s.dir) UsageError("-o and -d exclude each other");
    if (s.page && s.inputs.size() > 1) UsageError("-o takes one INPUT only");
    if (s.page && s.page->empty()) UsageError("-o needs a page name");
    if (s.jobs == 0) s.jobs = std::max(1u, std::thread::hardware_concurrency());
    return s;
}

std::string PageOf(const TSettings& s, const std::string& input) {
    if (s.page) return *s.page;
    std::string baseName;
    bool skipHeader = false;
    TConversionRun::DeriveNames(input, baseName, skipHeader);
    std::string page = baseName + ".htm";
    if (s.dir && !s.dir->empty()) {
        const std::string& dir = *s.dir;
        page = dir.back() == '/' ? dir + page : dir + "/" + page;
    }
    return page;
}

// Ends the process on SIGINT, SIGTERM or SIGHUP with 128 + the signal, after removing
// the temporary files of the documents in progress; finished documents stay. The signals
// are blocked in every thread and taken by one thread of their own, so no conversion is
// cut short in the middle of putting its files in place.
void RemoveTemporaryFilesOnInterrupt() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        struct sigaction current {};
        if (sigaction(s, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&signals, s);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        TStagedFiles::AbandonAllForExit();
        _exit(128 + signal);
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    const TSettings settings = ParseCommandLine(argc, argv);
    const size_t count = settings.inputs.size();
    RemoveTemporaryFilesOnInterrupt();

    std::vector<std::string> pages(count);
    std::vector<std::string> refusals(count);  // non-empty: not converted, and why
    std::map<std::string, size_t> owners;
    for (size_t i = 0; i < count; ++i) {
        pages[i] = PageOf(settings, settings.inputs[i]);
        // Writing the page would empty another document of this call, maybe before it is
        // read. (A page that is its own INPUT is refused by the run itself.)
        for (size_t j = 0; j < count && refusals[i].empty(); ++j)
            if (j != i && SameFile(pages[i], settings.inputs[j]))
                refusals[i] = "Cannot create \"" + pages[i] + "\": it is the input document \"" +
                              settings.inputs[j] + "\" of this call";
        if (!refusals[i].empty()) continue;
        const auto [it, added] = owners.emplace(FileKey(pages[i]), i);
        if (!added)
            refusals[i] = "page \"" + pages[i] + "\" is already written by \"" +
                          settings.inputs[it->second] + "\" in this call";
    }

    TOrderedCommits order(settings.inputs);
    std::mutex report;
    std::atomic<size_t> next{0};
    std::atomic<bool> anyFailed{false};
    auto fail = [&](size_t i, const std::string& reason) {
        anyFailed = true;
        std::lock_guard<std::mutex> lock(report);
        std::cerr << "vornik2html: " << settings.inputs[i] << ": " << reason << std::endl;
    };
    auto worker = [&] {
        TFixedOptions options(settings.colors, settings.pitch42, settings.bmp);
        for (size_t i = next++; i < count; i = next++) {
            if (!refusals[i].empty()) {
                order.Finish(i, false);
                fail(i, refusals[i]);
                continue;
            }
            try {
                TNamedFiles files(settings.inputs[i], pages[i]);
                TConversionRun run(options, files, settings.style, &order.Gate(i));
                const TRunResult result = run.Button1Click();
                order.Finish(i, true);
                if (!settings.quiet) {
                    std::lock_guard<std::mutex> lock(report);
                    std::cerr << settings.inputs[i] << " -> " << result.PageName << " ("
                              << result.PictureFiles << " pictures)" << std::endl;
                }
            } catch (const std::exception& e) {
                order.Finish(i, false);
                fail(i, e.what());
            }
        }
    };

    const size_t threads = std::min<size_t>(settings.jobs, count);
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    return anyFailed ? 1 : 0;
}
