// vornik2html: converts Vornik documents into web pages from the command line.
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "archive/ArchiveRun.h"
#include "archive/CallSettings.h"
#include "platform/StagedFiles.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

using namespace quill;

constexpr const char* kUsage =
    "usage: vornik2html [--colors] [--pitch42] [--bmp] [--style quilloc|quillo]\n"
    "                   [-o PAGE.htm | -d DIR] [-j N] [-q] [--match PATTERN]...\n"
    "                   [--update] [--shard K/N] INPUT...\n"
    "       vornik2html --index [-d DIR]\n";

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
    "  -j N              N workers for documents and pictures (default: number of cores)\n"
    "  -q                failures only: no line for each document, no summary\n"
    "\n"
    "An INPUT that is a folder is an archive: its folders are walked, and each document\n"
    "becomes DIR/FOLDERS/NAME.htm, FOLDERS being where it lies below INPUT; every output\n"
    "folder gets an index.htm.\n"
    "  --match PATTERN   documents are the files that PATTERN (a shell pattern on the file\n"
    "                    name, may be repeated) matches (default: NAME.$x)\n"
    "  --update          convert only documents whose page is missing or older\n"
    "  --shard K/N       convert only the K-th of N fixed shares of the documents\n"
    "  --index           only write the index pages of DIR again\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 all converted, 1 some failed, 2 wrong command line.\n";

using TSettings = TCallSettings;

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
        } else if (arg == "--match") {  // archives
            s.patterns.push_back(value("a pattern"));
        } else if (arg == "--shard") {
            const std::string share = value("K/N");
            s.shard = TShard::Parse(share);
            if (!s.shard) UsageError("--shard needs K/N, 1 <= K <= N, not \"" + share + "\"");
        } else if (arg == "--update") {
            s.update = true;
        } else if (arg == "--index") {
            s.indexOnly = true;
        } else {
            UsageError("unknown option " + arg);
        }
    }
    if (s.indexOnly && (!s.inputs.empty() || s.page))
        UsageError("--index takes -d DIR only, no INPUT");
    if (s.inputs.empty() && !s.indexOnly) UsageError("no INPUT given");
    if (s.page && s.dir) UsageError("-o and -d exclude each other");
    if (s.page && s.inputs.size() > 1) UsageError("-o takes one INPUT only");
    if (s.page && s.page->empty()) UsageError("-o needs a page name");
    if (s.jobs == 0) s.jobs = std::max(1u, std::thread::hardware_concurrency());
    s.terminal = isatty(2) != 0;
    return s;
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
    RemoveTemporaryFilesOnInterrupt();
    return RunCall(settings);
}
