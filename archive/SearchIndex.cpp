#include "archive/SearchIndex.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "archive/PageRecords.h"
#include "convert/DocumentNames.h"
#include "convert/MarkupNames.h"
#include "convert/ModernPage.h"
#include "convert/PageLanguage.h"
#include "platform/Base64.h"
#include "platform/ChildProcess.h"
#include "platform/Exception.h"
#include "platform/FolderSwap.h"
#include "platform/JsonText.h"
#include "platform/TempFile.h"

namespace quill {

namespace {

namespace fs = std::filesystem;

// Marks a folder as a bundle Pagefind wrote, which may be written again.
constexpr const char* kBundleEntry = "pagefind-entry.json";

constexpr std::string_view kInstallHint =
    "Pagefind was not found on PATH; install it with \"npm install -g pagefind\" (or put its "
    "program, pagefind or pagefind_extended, on PATH)";

// The entities each page kind writes, as the characters they show.
struct TEntity {
    std::string_view Name;
    std::string_view Text;
};
constexpr TEntity kEntities[] = {
    {"&lt;", "<"},    {"&gt;", ">"},    {"&amp;", "&"},
    {"&quot;", "\""}, {"&tilde;", "~"}, {"&copy;", "\u00a9"},
};

// The body of the page's <pre>: between its first "<pre>" line and the footer.
std::string_view PreText(std::string_view page) {
    const size_t open = page.find("<pre>");
    const size_t close = page.rfind("</pre>");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return {};
    std::string_view text = page.substr(open + 5, close - open - 5);
    if (text.starts_with("\r\n")) text.remove_prefix(2);
    if (text.ends_with("\r\n")) text.remove_suffix(2);  // the footer's
    return text;
}

// The modern page's language as its html element says it; empty when it says none.
std::string HtmlLanguage(std::string_view page) {
    const std::string_view start = modern::kHtmlStart;
    if (!page.starts_with(start)) return {};
    const size_t end = page.find('"', start.size());
    return end == std::string_view::npos
               ? std::string()
               : std::string(page.substr(start.size(), end - start.size()));
}

// Cyrillic letters in UTF-8 (U+0400 to U+04FF) lead with 0xD0 to 0xD3.
bool HoldsUtf8Cyrillic(std::string_view text) {
    for (const char c : text)
        if ((static_cast<uint8_t>(c) & 0xFC) == 0xD0) return true;
    return false;
}

// Paths are UTF-8 on every system (a std::string path is the code page's on Windows).
fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ReadFile(const std::string& path) {
    errno = 0;
    std::ifstream in(PathOf(path), std::ios::binary | std::ios::ate);
    const auto fail = [&path] {
        // A file cut short while it is read leaves no error of the system.
        const std::string reason = errno != 0 ? std::strerror(errno) : "it ended before its size";
        throw EInOutError("Cannot read \"" + path + "\": " + reason, path, reason);
    };
    if (!in) fail();
    // Read at once: pages are whole files of known size.
    const std::streamoff size = in.tellg();
    if (size < 0) fail();
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in.seekg(0) || !in.read(bytes.data(), size)) fail();
    return bytes;
}

// Pagefind's service: requests and answers, each a JSON text in base64 ended by ",".
class TPagefind {
  public:
    TPagefind(const std::string& program, const std::string& errorFile)
        : errorFile_(errorFile), child_(program, {"--service"}, 0, 1, errorFile) {}

    // The answer's payload; fails with Pagefind's own message on an error.
    std::string Ask(std::string_view payload) {
        // A site's pages are megabytes of text: each is framed in buffers kept for the
        // next, not in new strings.
        message_.clear();
        message_.append("{\"message_id\":").append(std::to_string(++id_));
        message_.append(",\"payload\":").append(payload).append("}");
        wire_.clear();
        AppendBase64(wire_, reinterpret_cast<const uint8_t*>(message_.data()), message_.size());
        wire_ += ',';
        child_.Write(wire_);
        for (;;) {
            const std::optional<std::string> line = child_.ReadUntil(',');
            if (!line) Fail("it ended unexpectedly" + LastError());
            const std::optional<std::string> answer =
                Base64Decode(std::string_view(*line).substr(0, line->size() - 1));
            if (!answer) Fail("its answer is no message");
            if (json::Member(*answer, "message_id") != std::to_string(id_)) continue;
            if (json::Member(*answer, "type") == "Error")
                Fail(json::Member(*answer, "message").value_or("an error"));
            return *answer;
        }
    }
    void Finish() {
        if (const int status = child_.Wait(); status != 0)
            Fail("it ended with status " + std::to_string(status) + LastError());
    }

  private:
    [[noreturn]] static void Fail(const std::string& reason) {
        throw Exception("Cannot build the search index: Pagefind: " + reason, {}, reason);
    }
    std::string LastError() const {
        std::string text;
        try {
            text = ReadFile(errorFile_);
        } catch (const Exception&) {
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const size_t line = text.rfind('\n');
        return text.empty() ? ""
                            : " (" + text.substr(line == std::string::npos ? 0 : line + 1) + ")";
    }

    std::string errorFile_;
    TChildProcess child_;
    int id_ = 0;
    std::string message_, wire_;
};

// Every recorded page below site that exists; hidden folders, the bundle and links to
// folders are passed over.
std::vector<TSearchIndex::TRecord> SiteRecords(const std::string& site) {
    std::vector<fs::path> folders{PathOf(site)};
    std::error_code error;
    for (fs::recursive_directory_iterator it(PathOf(site), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = Utf8Of(it->path().filename());
        if (!it->is_directory(error) || it->is_symlink(error) || name.starts_with(".") ||
            (it.depth() == 0 && name == TSearchIndex::kBundleName)) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        folders.push_back(it->path());
    }
    std::vector<TSearchIndex::TRecord> records;
    for (const fs::path& folder : folders) {
        std::string prefix;
        for (const fs::path& part : folder.lexically_relative(PathOf(site)))
            if (part != ".") prefix += names::AddressOf(Utf8Of(part)) + "/";
        for (const auto& [page, record] : TPageRecords::Read(Utf8Of(folder))) {
            const std::string path = names::Join(Utf8Of(folder), page);
            if (!fs::is_regular_file(PathOf(path), error)) continue;
            TSearchIndex::TRecord r = TSearchIndex::RecordOf(ReadFile(path));
            r.Url = prefix + names::AddressOf(page);
            r.Title = names::PlainText(record.Document.empty() ? page : record.Document);
            records.push_back(std::move(r));
        }
    }
    return records;
}

// Russian when any page is, else the language of most pages.
std::string IndexLanguage(const std::vector<TSearchIndex::TRecord>& records) {
    std::map<std::string, int> counts;
    for (const TSearchIndex::TRecord& r : records) ++counts[r.Language];
    if (counts.contains(std::string(language::kCyrillicText)) || counts.empty())
        return std::string(language::kCyrillicText);
    auto most = counts.begin();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it->second > most->second) most = it;
    return most->first;
}

[[noreturn]] void FailBundle(const std::string& path, const std::string& reason) {
    throw EInOutError("Cannot write \"" + path + "\": " + reason, path, reason);
}

// The new bundle at staged in place of the one at path, which is then removed.
void PutInPlace(const std::string& staged, const std::string& path) {
    if (const int error = SwapFolderIntoPlace(staged, path)) FailBundle(path, std::strerror(error));
    std::error_code ignored;
    fs::remove_all(PathOf(staged), ignored);  // the old bundle, swapped there
}

// A new hidden folder beside the bundle, which no walk of the site looks into.
std::string MakeStagingFolder(const std::string& site, const std::string& path) {
    std::mt19937 engine{std::random_device{}()};
    for (int attempt = 0;; ++attempt) {
        const std::string staged =
            names::Join(site, ".pagefind." + std::to_string(engine() % 1000000000));
        std::error_code error;
        if (fs::create_directory(PathOf(staged), error)) return staged;
        if (error || attempt == 100)
            FailBundle(path, error ? error.message() : std::strerror(EEXIST));
    }
}

}  // namespace

TSearchIndex::TRecord TSearchIndex::RecordOf(std::string_view page) {
    // Modern pages made before they said their language have no lang.
    const bool modern = page.starts_with(modern::kHtmlStart.substr(0, 15));
    const std::string_view pre = PreText(page);
    // The text without tags, entities as they show, control bytes as spaces; the classic
    // page's bytes as cp866 (its tags and entities are ASCII).
    TRecord record;
    record.Text.reserve(pre.size());
    // Bytes that stand for themselves go over in runs.
    const auto plain = [modern](char c) {
        const auto b = static_cast<uint8_t>(c);
        return c != '<' && c != '&' && (b >= 0x20 || c == '\n' || c == '\t') &&
               (modern || b < 0x80);
    };
    for (size_t i = 0; i < pre.size(); ++i) {
        const size_t run = i;
        while (i < pre.size() && plain(pre[i])) ++i;
        record.Text.append(pre.substr(run, i - run));
        if (i == pre.size()) break;
        const char c = pre[i];
        if (c == '<') {
            const size_t end = pre.find('>', i);
            i = end == std::string_view::npos ? pre.size() : end;
            continue;
        }
        const auto entity =
            c != '&'
                ? std::end(kEntities)
                : std::find_if(std::begin(kEntities), std::end(kEntities),
                               [&](const TEntity& e) { return pre.substr(i).starts_with(e.Name); });
        const auto b = static_cast<uint8_t>(c);
        if (entity != std::end(kEntities)) {
            record.Text += entity->Text;
            i += entity->Name.size() - 1;
        } else if (b < 0x20 && c != '\n' && c != '\t') {
            if (c != '\r') record.Text += ' ';
        } else {
            record.Text +=
                modern || b < 0x80 ? std::string_view(&c, 1) : modern::TUtf8Table::Get().Text(b);
        }
    }
    const bool cyrillic = modern ? HoldsUtf8Cyrillic(pre) : language::HoldsCyrillicLetter(pre);
    record.Language = HtmlLanguage(page);
    if (record.Language.empty())
        record.Language = std::string(cyrillic ? language::kCyrillicText : language::kOtherText);
    return record;
}

std::string TSearchIndex::FindProgram(const std::string& program) {
    // Where nothing can be started, a program found is no help either.
    if (const std::string reason = TChildProcess::CannotStart(); !reason.empty())
        throw Exception("Cannot build the search index: " + reason, {}, reason);
    return Program(program);
}

std::string TSearchIndex::Program(const std::string& program) {
    std::string pagefind = program;
    if (pagefind.empty()) pagefind = TChildProcess::FindOnPath("pagefind");
    if (pagefind.empty()) pagefind = TChildProcess::FindOnPath("pagefind_extended");
    if (pagefind.empty())
        throw Exception("Cannot build the search index: " + std::string(kInstallHint), {},
                        std::string(kInstallHint));
    return pagefind;
}

int TSearchIndex::Build(const std::string& site, const std::string& program) {
    const std::string pagefind = Program(program);

    const std::string path = names::Join(site, kBundleName);
    std::error_code error;
    if (fs::exists(PathOf(path), error) &&
        !fs::exists(PathOf(names::Join(path, kBundleEntry)), error))
        FailBundle(path, "it is not a search index");
    const std::vector<TRecord> records = SiteRecords(site);

    const std::string staged = MakeStagingFolder(site, path);
    try {
        TTempFile errors("quill-pagefind");
        TPagefind service(pagefind, errors.Name());
        const std::string answer =
            service.Ask("{\"type\":\"NewIndex\",\"config\":{\"force_language\":" +
                        json::Quoted(IndexLanguage(records)) + "}}");
        const std::string index = json::Member(answer, "index_id").value_or("0");
        std::string add;
        for (const TRecord& r : records) {
            add.assign("{\"type\":\"AddRecord\",\"index_id\":").append(index);
            add.append(",\"url\":");
            json::AppendQuoted(add, r.Url);
            add.append(",\"content\":");
            json::AppendQuoted(add, r.Text);
            add.append(",\"language\":");
            json::AppendQuoted(add, r.Language);
            add.append(",\"meta\":{\"title\":");
            json::AppendQuoted(add, r.Title);
            add.append("}}");
            service.Ask(add);
        }
        service.Ask("{\"type\":\"WriteFiles\",\"index_id\":" + index +
                    ",\"output_path\":" + json::Quoted(staged) + "}");
        service.Finish();
        PutInPlace(staged, path);
    } catch (...) {
        fs::remove_all(PathOf(staged), error);
        throw;
    }
    return static_cast<int>(records.size());
}

std::string TSearchIndex::SearchBox(std::string_view toRoot) {
    const std::string bundle = std::string(toRoot) + kBundleName + "/";
    return "<div id=\"search\"></div>\n"
           "<link href=\"" +
           bundle +
           "pagefind-ui.css\" rel=\"stylesheet\">\n"
           "<script src=\"" +
           bundle +
           "pagefind-ui.js\"></script>\n"
           "<script>addEventListener(\"DOMContentLoaded\", () => new PagefindUI("
           "{element: \"#search\", showSubResults: false, showImages: false}));</script>\n";
}

}  // namespace quill
