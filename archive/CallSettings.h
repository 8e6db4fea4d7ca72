#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/CallWatch.h"
#include "archive/Shard.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/Platform.h"

namespace quill {

// Everything one call of the command-line converter was asked to do.
struct TCallSettings {
    bool colors = false;
    bool pitch42 = false;
    bool bmp = false;
    TPageStyle style = TPageStyle::Quilloc;
    std::optional<std::string> page;
    std::optional<std::string> dir;
    unsigned jobs = 0;  // workers; 0: one for each processor
    bool quiet = false;
    std::vector<std::string> inputs;  // as given: "-" is standard input
    TRunSettings run;                 // the page kind, embedding, the header rule
    bool toStdout = false;            // -o -: the page goes to standard output
    // Archives (INPUTs that are folders).
    std::vector<std::string> patterns;  // --match: documents by these instead of NAME.$x
    std::optional<TShard> shard;        // --shard K/N
    bool update = false;                // --update: only documents whose page is not up to date
    bool retryFailed = false;           // --retry-failed: with --update, kept failures too
    bool prune = false;                 // --prune: the files of documents that are gone too
    bool dryRun = false;  // --dry-run: say what each document would get, write nothing
    std::optional<std::string> report;  // --report FILE: a JSON line per document
    bool indexOnly = false;             // --index: the index pages of DIR, nothing converted
    // The site around an archive's pages (--html5 pages also get a bar of links).
    bool originals = false;         // --originals: each document copied beside its page
    bool thumbnails = false;        // --thumbnails: NAME.face.png, the top of each page
    bool render = false;            // --render: NAME.page.png, the whole page
    bool search = false;            // --search: SITE/pagefind and a search box on each index
    std::string pagefind;           // the Pagefind program; empty: the one on PATH
    bool terminal = false;          // stderr is a terminal: a live status line
    TCallWatch* watch = nullptr;    // told instead of stderr, and may cancel the call
    TPlatform* platform = nullptr;  // where the files are; null: the operating system's
};

}  // namespace quill
