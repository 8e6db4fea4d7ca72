// vornik2html: converts Vornik documents into web pages from the command line.
#ifdef _WIN32
#include "tools/entry/DroppedInputs.h"
#include "tools/entry/WindowsStart.h"
#else
#include <pthread.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "archive/ArchiveCall.h"
#include "archive/CallSettings.h"
#include "convert/DocumentNames.h"
#include "convert/PageLanguage.h"
#include "platform/StagedFiles.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

using namespace quill;

constexpr const char* kUsage =
    "usage: vornik2html [--colors] [--pitch42] [--bmp] [--style quilloc|quillo]\n"
    "                   [--html5] [--scale N] [--classic-pictures] [--lang CODE] [--embed]\n"
    "                   [--skip-header]\n"
    "                   [-o PAGE.htm | -o - | -d DIR] [-j N] [-q] [--match PATTERN]...\n"
    "                   [--update] [--shard K/N] [--name-encoding CODEPAGE] INPUT...\n"
    "       vornik2html --index [-d DIR] [--name-encoding CODEPAGE]\n";

constexpr const char* kHelp =
    "Converts Vornik documents into web pages, with one picture file for every distinct\n"
    "picture beside its page.\n"
    "\n"
    "  --colors          coloured text on a dark page (default: bold, italic and underline\n"
    "                    on a light page)\n"
    "  --pitch42         25-pixel lines (default: 17 pixels)\n"
    "  --bmp             pictures as 4-bit BMP files (default: PNG)\n"
    "  --style STYLE     quilloc (default) or quillo: always colours on a dark page\n"
    "  --html5           a page for today's web: HTML5 in UTF-8, crisp and compact\n"
    "                    pictures\n"
    "  --scale N         with --html5: pictures shown 256 x N pixels wide, N from 1 to 8\n"
    "                    (default: 640 pixels)\n"
    "  --classic-pictures\n"
    "                    with --html5: the PNG files the classic page gets, byte for byte\n"
    "                    (default: smaller PNG files of the same pixels)\n"
    "  --lang CODE       with --html5: the page's language (default: ru when its text\n"
    "                    holds Cyrillic letters, otherwise en)\n"
    "  --embed           pictures inside the page as data: addresses; no picture files\n"
    "  --skip-header     skip the 17-byte header of every INPUT, whatever its name\n"
    "  -o PAGE.htm       the page to write (one INPUT only); -o - writes it to standard\n"
    "                    output (pictures then need --embed)\n"
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
    "  --name-encoding CODEPAGE\n"
    "                    file names that are not UTF-8 are shown (in index pages, titles\n"
    "                    and these lines) as names of this single-byte code page\n"
    "                    (default: cp866); utf-8: as they are\n"
    "  --help, --version\n"
    "\n"
    "INPUT - reads the document from standard input (its name is then \"stdin\").\n"
    "Exit status: 0 all converted, 1 some failed, 2 wrong command line.\n";

using TSettings = TCallSettings;

[[noreturn]] void UsageError(const std::string& message) {
    std::cerr << "vornik2html: " << message << "\n" << kUsage;
    std::exit(2);
}

// A whole number from low to high, or a wrong command line.
unsigned Number(const std::string& option, const std::string& text, long low, long high) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < low || n > high)
        UsageError(option + " needs a number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not \"" + text + "\"");
    return static_cast<unsigned>(n);
}

// The values of the options that take one, as written, and whether each was given.
struct TWords {
    std::map<std::string, std::string> values;  // by option name
    std::map<std::string, size_t> counts;
};

// Reads the command line into s and words; help, version and a line that does not parse
// end the program here.
void ReadWords(int argc, char** argv, TSettings& s, TWords& words) {
    CLI::App app("Converts Vornik documents into web pages.", "vornik2html");
    app.set_help_flag();  // our own help text, below
    app.allow_extras();   // unknown options are reported in our words
    bool help = false;
    bool version = false;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    app.add_flag("--colors", s.colors);
    app.add_flag("--pitch42", s.pitch42);
    app.add_flag("--bmp", s.bmp);
    app.add_flag("--html5", s.run.Html5);
    app.add_flag("--classic-pictures", s.run.ClassicPictures);
    app.add_flag("--embed", s.run.Embed);
    app.add_flag("--skip-header", s.run.SkipHeader);
    app.add_flag("-q", s.quiet);
    app.add_flag("--update", s.update);
    app.add_flag("--index", s.indexOnly);
    // What each option's value is, for the message when it is missing.
    const std::map<std::string, std::string> values = {
        {"--style", "a style"}, {"-o", "a page name"},    {"-d", "a folder"},
        {"-j", "a number"},     {"--scale", "a number"},  {"--match", "a pattern"},
        {"--shard", "K/N"},     {"--lang", "a language"}, {"--name-encoding", "a code page"},
    };
    std::map<std::string, CLI::Option*> options;
    for (const char* name :
         {"--style", "-o", "-d", "-j", "--scale", "--lang", "--shard", "--name-encoding"})
        options[name] = app.add_option(name, words.values[name])
                            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--match", s.patterns);
    app.add_option("INPUT", s.inputs);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A value missing at the end of the line; CLI11 names the option first.
        const std::string what = e.what();
        for (const auto& [name, value] : values)
            if (what.rfind(name + ":", 0) == 0) UsageError(name + " needs " + value);
        UsageError(what);
    }
    if (help) {
        std::cout << kUsage << "\n" << kHelp;
        std::exit(0);
    }
    if (version) {
        std::cout << "vornik2html " << QUILL_VERSION << "\n";
        std::exit(0);
    }
    for (const std::string& extra : app.remaining())
        if (extra.size() > 1 && extra[0] == '-') UsageError("unknown option " + extra);
    for (const std::string& extra : app.remaining()) s.inputs.push_back(extra);
    for (const auto& [name, option] : options) words.counts[name] = option->count();
}

// The options that take a value, and what the options say together.
void CheckOptions(TWords& words, TSettings& s) {
    const auto given = [&](const char* name) { return words.counts[name] > 0; };
    const std::string& style = words.values["--style"];
    if (given("--style")) {
        if (style == "quilloc")
            s.style = TPageStyle::Quilloc;
        else if (style == "quillo")
            s.style = TPageStyle::Quillo;
        else
            UsageError("unknown style \"" + style + "\"");
    }
    if (words.counts["-o"] > 1) UsageError("-o given twice");
    if (words.counts["-d"] > 1) UsageError("-d given twice");
    if (given("-o")) s.page = words.values["-o"];
    if (given("-d")) s.dir = words.values["-d"];
    if (given("-j")) s.jobs = Number("-j", words.values["-j"], 1, 1024);
    if (given("--scale")) {
        if (!s.run.Html5) UsageError("--scale needs --html5");
        s.run.Scale = static_cast<int>(Number("--scale", words.values["--scale"], 1, 8));
    }
    if (given("--lang")) {
        const std::string& lang = words.values["--lang"];
        if (!s.run.Html5) UsageError("--lang needs --html5");
        if (!language::IsLanguageTag(lang))
            UsageError("--lang needs a language such as ru, en or sr-Latn, not \"" + lang + "\"");
        s.run.Lang = language::TLanguageTag(lang);
    }
    if (given("--shard")) {
        const std::string& shard = words.values["--shard"];
        s.shard = TShard::Parse(shard);
        if (!s.shard) UsageError("--shard needs K/N, 1 <= K <= N, not \"" + shard + "\"");
    }
    if (given("--name-encoding")) {
        const std::string& name = words.values["--name-encoding"];
        const auto encoding = names::TNameEncoding::Named(name);
        if (!encoding)
            UsageError(
                "--name-encoding needs a single-byte code page such as cp866, cp437 or "
                "koi8-r, or utf-8, not \"" +
                name + "\"");
        s.run.NameEncoding = *encoding;
    }
    if (s.indexOnly && (!s.inputs.empty() || s.page))
        UsageError("--index takes -d DIR only, no INPUT");
    if (s.inputs.empty() && !s.indexOnly) UsageError("no INPUT given");
    if (s.page && s.dir) UsageError("-o and -d exclude each other");
    if (s.page && s.inputs.size() > 1) UsageError("-o takes one INPUT only");
    if (s.page && s.page->empty()) UsageError("-o needs a page name");
    if (std::count(s.inputs.begin(), s.inputs.end(), names::kStandardStream) > 1)
        UsageError("standard input (-) given twice");
}

TSettings ParseCommandLine(int argc, char** argv) {
    TSettings s;
    TWords words;
    ReadWords(argc, argv, s, words);
    CheckOptions(words, s);
    s.toStdout = s.page == names::kStandardStream;
    s.run.NoPictureFiles = s.toStdout;
#ifdef _WIN32
    s.terminal = windows::ErrorIsTerminal();
#else
    s.terminal = isatty(2) != 0;
#endif
    return s;
}

#ifdef _WIN32
using windows::RemoveTemporaryFilesOnInterrupt;
#else
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
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    const windows::TWindowsStart start(argc, argv);
    if (start.OwnConsole() && LooksDropped(start.Arguments(), TPlatform::Real())) {
        RemoveTemporaryFilesOnInterrupt();
        return ConvertDropped(start.Arguments(), windows::ErrorIsTerminal());
    }
#endif
    const TSettings settings = ParseCommandLine(argc, argv);
    RemoveTemporaryFilesOnInterrupt();
    return RunCall(settings);
}
