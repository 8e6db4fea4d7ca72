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
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "archive/ArchiveCall.h"
#include "archive/CallSettings.h"
#include "convert/DocumentNames.h"
#include "convert/NameEncoding.h"
#include "convert/PageLanguage.h"
#include "platform/StagedFiles.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

using namespace quill;

// The first lines of --help, and of the answer to a wrong command line. "Usage:" and
// "or:" are what help2man takes for the man page's SYNOPSIS.
constexpr const char* kUsage =
    "Usage: vornik2html [OPTION]... INPUT...\n"
    "  or:  vornik2html --index [-d DIR] [-q] [--search] [--name-encoding CODEPAGE]\n";

// The rest of --help, in the form help2man turns into DESCRIPTION, OPTIONS and EXIT
// STATUS: paragraphs, "Options:", options indented by two spaces with their text in the
// 21st column, sub-sections ending in ":" and a section of its own between asterisks.
constexpr const char* kHelp =
    "Converts Vornik documents into web pages, with one picture file for every distinct\n"
    "picture beside its page. An INPUT that is a folder is an archive: its folders are\n"
    "walked, each document becomes DIR/FOLDERS/NAME.htm, FOLDERS being where it lies\n"
    "below INPUT, and every output folder gets an index.htm. INPUT - reads the document\n"
    "from standard input (its name is then \"stdin\").\n"
    "\n"
    "Options:\n"
    "  --colors          coloured text on a dark page (default: bold, italic and underline\n"
    "                    on a light page)\n"
    "  --pitch42         25-pixel lines (default: 17 pixels)\n"
    "  --bmp             pictures as 4-bit BMP files (default: PNG)\n"
    "  --style STYLE     quilloc (default) or quillo: always colours on a dark page\n"
    "  --html5           a page for today's web: HTML5 in UTF-8, crisp and compact\n"
    "                    pictures, readable on a phone\n"
    "  --scale N         with --html5: pictures shown 256 x N pixels wide, N from 1 to 8\n"
    "                    (default: 640 pixels)\n"
    "  --classic-pictures\n"
    "                    with --html5: the PNG files the classic page gets, byte for byte\n"
    "                    (default: smaller PNG files of the same pixels)\n"
    "  --lang CODE       with --html5: the page's language (default: ru when its text\n"
    "                    holds Cyrillic letters, otherwise en)\n"
    "  --embed           pictures inside the page as data: addresses; no picture files\n"
    "  --skip-header     skip the 17-byte header of every INPUT, whatever its name\n"
    "  -o PAGE.htm       the page to write (one INPUT only, not a folder); -o - writes it\n"
    "                    to standard output (pictures then need --embed)\n"
    "  -d DIR            write each page as DIR/NAME.htm, NAME being the document's name\n"
    "                    up to its first \".\" (default DIR: the current folder; made\n"
    "                    when missing)\n"
    "  -j N              N workers for documents and pictures (default: number of cores)\n"
    "  -q                failures only: no line for each document, no summary\n"
    "  --help            print this help and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "Archives:\n"
    "  --match PATTERN   the documents are the files PATTERN (a shell pattern on the\n"
    "                    file name; one for each --match) matches (default: NAME.$x)\n"
    "  --update          convert only what is not up to date: a document that changed, a\n"
    "                    page or picture missing, a page made with other options or\n"
    "                    without a record; take documents that are gone off the index\n"
    "  --retry-failed    with --update: try again the documents that failed before and\n"
    "                    did not change since (default: not tried again)\n"
    "  --prune           remove the page and pictures of documents that are gone, too\n"
    "  --dry-run         print what each document would get, and why; write nothing\n"
    "  --report FILE     write a JSON line for each document to FILE: status, input,\n"
    "                    page, pictures, reason\n"
    "  --shard K/N       convert only the K-th of N fixed shares of the documents\n"
    "  --index           only write the index pages of DIR again, from the records (and\n"
    "                    the search index, with --search or where DIR/pagefind is)\n"
    "  --originals       copy each document beside its page; its index row and, with\n"
    "                    --html5, its page's bar link to it\n"
    "  --thumbnails      write NAME.face.png, the top of each page, shown in its index row\n"
    "                    with the document's first line of text\n"
    "  --render          write NAME.page.png, the whole page as one picture, linked from\n"
    "                    its index row\n"
    "  --search          index the whole site with Pagefind (found on PATH) into\n"
    "                    DIR/pagefind and put a search box on every index page; search\n"
    "                    needs the site served over HTTP (python3 -m http.server)\n"
    "  --name-encoding CODEPAGE\n"
    "                    file names that are not UTF-8 are shown (in index pages, titles\n"
    "                    and these lines) as names of this single-byte code page\n"
    "                    (default: cp866); utf-8: as they are\n"
    "\n"
    "*Exit status*\n"
    "  0                 everything was converted\n"
    "  1                 something failed or was not tried again (a document, a\n"
    "                    folder, an index page)\n"
    "  2                 a wrong command line\n";

using TSettings = TCallSettings;

[[noreturn]] void UsageError(const std::string& message) {
    std::cerr << "vornik2html: " << message << "\n"
              << kUsage << "Try \"vornik2html --help\" for the options.\n";
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
    std::map<std::string, CLI::Option*> options;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    const std::pair<const char*, bool*> flags[] = {
        {"--colors", &s.colors},
        {"--pitch42", &s.pitch42},
        {"--bmp", &s.bmp},
        {"--html5", &s.run.Html5},
        {"--classic-pictures", &s.run.ClassicPictures},
        {"--embed", &s.run.Embed},
        {"--skip-header", &s.run.SkipHeader},
        {"-q", &s.quiet},
        {"--update", &s.update},
        {"--retry-failed", &s.retryFailed},
        {"--prune", &s.prune},
        {"--dry-run", &s.dryRun},
        {"--index", &s.indexOnly},
        {"--originals", &s.originals},
        {"--thumbnails", &s.thumbnails},
        {"--render", &s.render},
        {"--search", &s.search},
    };
    for (const auto& [name, flag] : flags) options[name] = app.add_flag(name, *flag);
    // What each option's value is, for the message when it is missing.
    const std::map<std::string, std::string> values = {
        {"--style", "a style"},      {"-o", "a page name"},
        {"-d", "a folder"},          {"-j", "a number"},
        {"--scale", "a number"},     {"--match", "a pattern"},
        {"--shard", "K/N"},          {"--lang", "a language"},
        {"--report", "a file name"}, {"--name-encoding", "a code page"},
    };
    for (const char* name : {"--style", "-o", "-d", "-j", "--scale", "--lang", "--shard",
                             "--report", "--name-encoding"})
        options[name] = app.add_option(name, words.values[name])
                            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // One pattern for each --match: the words after it are INPUTs.
    options["--match"] =
        app.add_option("--match", s.patterns)->expected(1)->allow_extra_args(false);
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

// --index writes the index pages of DIR from what is there: nothing else is asked of it.
void CheckIndexOnly(TWords& words, const TSettings& s) {
    if (!s.indexOnly) return;
    if (!s.inputs.empty()) UsageError("--index takes -d DIR only, no INPUT");
    for (const auto& [name, count] : words.counts)
        if (count > 0 && name != "--index" && name != "-d" && name != "-q" &&
            name != "--name-encoding" && name != "--search")
            UsageError("--index takes -d DIR, -q, --search and --name-encoding only, not " + name);
}

// The site's options shape an archive: a page named alone has no folder to lay them out in.
void CheckSiteOptions(TWords& words, const TSettings& s) {
    if (s.indexOnly) return;
    const bool archive = std::any_of(s.inputs.begin(), s.inputs.end(), [](const std::string& i) {
        return !i.empty() && i != names::kStandardStream && TPlatform::Real().Status(i).IsFolder();
    });
    for (const char* name : {"--originals", "--thumbnails", "--render", "--search"})
        if (words.counts[name] > 0 && !archive)
            UsageError(std::string(name) +
                       " needs a folder INPUT (an archive), written with -d DIR");
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
    if (given("--report")) s.report = words.values["--report"];
    if (s.report && s.report->empty()) UsageError("--report needs a file name");
    if (s.retryFailed && !s.update) UsageError("--retry-failed needs --update");
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
    CheckIndexOnly(words, s);
    if (s.inputs.empty() && !s.indexOnly) UsageError("no INPUT given");
    if (!s.page) CheckSiteOptions(words, s);
    if (s.page && s.dir) UsageError("-o and -d exclude each other");
    if (s.page && s.inputs.size() > 1) UsageError("-o takes one INPUT only");
    if (s.page && s.page->empty()) UsageError("-o needs a page name");
    if (s.page && s.inputs.size() == 1 && TPlatform::Real().Status(s.inputs[0]).IsFolder())
        UsageError("-o writes one page, and \"" + s.inputs[0] +
                   "\" is a folder: an archive needs -d DIR");
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

// The call a signal interrupts; null before it is made and once it has ended.
std::mutex gCallLock;
TArchiveCall* gCall = nullptr;

// Stops the call from putting anything more in place and writes the index pages (and
// the failures and the report) for the documents that finished.
void InterruptCall() {
    std::lock_guard<std::mutex> lock(gCallLock);
    if (gCall) gCall->Interrupt();
}

#ifdef _WIN32
// Ctrl-C, Ctrl-Break or closing the console: as a signal on Linux, then exit status 130.
void InterruptCallOnSignal() {
    windows::RemoveTemporaryFilesOnInterrupt(InterruptCall);
}
#else
// Ends the process on SIGINT, SIGTERM or SIGHUP with 128 + the signal. The signals are
// blocked in every thread and taken by one thread of their own, so no conversion is cut
// short in the middle of putting its files in place. The first signal stops the call from
// putting anything more in place, writes the index pages (and the failures and the
// report) for the documents that finished, removes the temporary files of those in
// progress and ends; finished documents stay. A second signal ends it at once, with only
// the temporary files removed.
void InterruptCallOnSignal() {
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
        std::thread([signal] {
            InterruptCall();
            TStagedFiles::AbandonAllForExit();
            _exit(128 + signal);
        }).detach();
        int again = 0;
        while (sigwait(&signals, &again) != 0) {
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
        windows::RemoveTemporaryFilesOnInterrupt();
        return ConvertDropped(start.Arguments(), windows::ErrorIsTerminal());
    }
#endif
    const TSettings settings = ParseCommandLine(argc, argv);
    InterruptCallOnSignal();
    TArchiveCall call(settings);
    {
        std::lock_guard<std::mutex> lock(gCallLock);
        gCall = &call;
    }
    const int status = call.Run();
    std::lock_guard<std::mutex> lock(gCallLock);
    gCall = nullptr;
    return status;
}
