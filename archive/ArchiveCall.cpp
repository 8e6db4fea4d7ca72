#include "archive/ArchiveCall.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "archive/FolderWalk.h"
#include "archive/IndexPages.h"
#include "archive/PageRecords.h"
#include "archive/Progress.h"
#include "archive/TextSniff.h"
#include "archive/WorkerPool.h"
#include "convert/ConversionRun.h"
#include "convert/DocumentNames.h"
#include "convert/FixedAnswers.h"
#include "archive/OrderedCommits.h"
#include "convert/StandardStreams.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"

namespace quill {

namespace {

// One document of the call.
struct TJob {
    std::string Input;    // as it is opened
    std::string Page;     // the page to write
    std::string Share;    // what --shard goes by: the path below a folder INPUT, or INPUT
    std::string Folder;   // in an archive: the page's folder, made and recorded; else ""
    std::string Refusal;  // non-empty: not converted, and why
    uint64_t Size = 0;
};

std::string BaseNameOf(const std::string& path) {
    return names::DeriveNames(path).BaseName;
}

// The page of a document named on the command line: -o, or DIR/NAME.htm.
std::string PageOf(const TCallSettings& s, const std::string& input) {
    if (s.page) return *s.page;
    return names::Join(s.dir.value_or(""), names::PageName(BaseNameOf(names::DocumentFile(input))));
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether page exists and is no older than the document.
bool UpToDate(const std::string& page, const std::string& input) {
    struct stat p {
    }, d{};
    if (::stat(page.c_str(), &p) != 0 || ::stat(input.c_str(), &d) != 0) return false;
    return p.st_mtim.tv_sec > d.st_mtim.tv_sec ||
           (p.st_mtim.tv_sec == d.st_mtim.tv_sec && p.st_mtim.tv_nsec >= d.st_mtim.tv_nsec);
}

// The first bytes of a document, for a look at what kind of file it is: of a plain file
// only, for what a pipe or a device gives is read once, by the run.
std::string Head(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return head;
}

// A page that is another document of the call, or the page of an earlier one, is refused
// before anything is converted: writing it would destroy the other document. Names are
// compared as SameFile does (the same file when both exist, else the same spelling), by
// lookup, so an archive of thousands of documents costs a stat or two a name.
void RefuseClashingPages(std::vector<TJob>& jobs, TFileKeys& keyOf) {
    std::map<std::pair<dev_t, ino_t>, std::vector<size_t>> byFile;  // inputs that exist
    std::map<std::string, std::vector<size_t>> byKey;               // inputs that do not
    for (size_t j = 0; j < jobs.size(); ++j) {
        struct stat info {};
        if (::stat(jobs[j].Input.c_str(), &info) == 0)
            byFile[{info.st_dev, info.st_ino}].push_back(j);
        else
            byKey[keyOf(jobs[j].Input)].push_back(j);
    }
    std::map<std::string, size_t> owners;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const std::string key = keyOf(jobs[i].Page);
        std::vector<size_t> same;
        struct stat info {};
        if (::stat(jobs[i].Page.c_str(), &info) == 0) {
            const auto it = byFile.find({info.st_dev, info.st_ino});
            if (it != byFile.end()) same = it->second;
        }
        if (const auto it = byKey.find(key); it != byKey.end())
            same.insert(same.end(), it->second.begin(), it->second.end());
        std::sort(same.begin(), same.end());
        // (A page that is its own INPUT is refused by the run itself.)
        for (const size_t j : same) {
            if (j == i) continue;
            jobs[i].Refusal = "Cannot create \"" + jobs[i].Page +
                              "\": it is the input document \"" + jobs[j].Input + "\" of this call";
            break;
        }
        if (!jobs[i].Refusal.empty()) continue;
        const auto [it, added] = owners.emplace(key, i);
        if (!added)
            jobs[i].Refusal = "page \"" + jobs[i].Page + "\" is already written by \"" +
                              jobs[it->second].Input + "\" in this call";
    }
}

// A watch's cancel, seen where a document would put its files in place: refusing there
// fails the run before anything is renamed, and the run removes its temporary files.
class TCancellableGate : public TCommitGate {
  public:
    TCancellableGate(TCommitGate& gate, TCallWatch& watch) : gate_(gate), watch_(watch) {}
    void BeforeCommit(const std::vector<std::string>& files) override {
        Check();
        gate_.BeforeCommit(files);
        // The wait for earlier documents may have been long.
        Check();
    }

  private:
    void Check() {
        if (watch_.Cancelled()) throw Exception("cancelled");
    }
    TCommitGate& gate_;
    TCallWatch& watch_;
};

// A watch's cancel, seen before each picture: no picture of a cancelled call is encoded.
class TCancellablePictures : public TPictureWork {
  public:
    TCancellablePictures(TPictureWork& work, TCallWatch& watch) : work_(work), watch_(watch) {}
    void RunAll(size_t count, const std::function<void(size_t)>& prepare,
                const std::function<void(size_t)>& task) override {
        work_.RunAll(count, prepare, [&](size_t i) {
            if (watch_.Cancelled()) throw Exception("cancelled");
            task(i);
        });
    }

  private:
    TPictureWork& work_;
    TCallWatch& watch_;
};

}  // namespace

int RunCall(const TCallSettings& s) {
    const std::string dir = s.dir.value_or("");
    const std::string outputRoot = dir.empty() ? "." : dir;
    bool failed = false;
    auto complain = [&](const std::string& line) {
        if (s.watch)
            s.watch->Failed(line);
        else
            std::cerr << "vornik2html: " << line << std::endl;
        failed = true;
    };
    auto buildIndexes = [&] {
        std::vector<std::string> failures;
        TIndexPages::Build(outputRoot, failures);
        for (const std::string& line : failures) complain(line);
    };
    if (s.indexOnly) {
        // A DIR that is not there has no index to write; saying nothing would pass a typo.
        struct stat info {};
        const int error = ::stat(outputRoot.c_str(), &info) != 0 ? errno
                          : S_ISDIR(info.st_mode)                ? 0
                                                                 : ENOTDIR;
        if (error != 0) {
            complain(outputRoot + ": Cannot read the folder: " + std::strerror(error));
            return 1;
        }
        buildIndexes();
        return failed ? 1 : 0;
    }

    // The documents, in the order of the call; a folder's in the order of its walk.
    std::vector<TJob> jobs;
    bool archive = false;
    const TDocumentFilter filter(s.patterns);
    for (const std::string& input : s.inputs) {
        // With -o every INPUT is one document; a folder is refused by its run.
        if (input.empty() || s.page || !IsFolder(input)) {
            jobs.push_back(TJob{input, PageOf(s, input), input, "", "", 0});
            continue;
        }
        if (!archive) {
            std::error_code error;
            std::filesystem::create_directories(outputRoot, error);
            if (error) {
                complain(outputRoot + ": Cannot create the folder: " + error.message());
                return 1;
            }
            archive = true;
        }
        std::vector<TFoundDocument> found;
        std::vector<std::string> unreadable;
        TFolderWalk(filter, outputRoot).Walk(input, found, unreadable);
        for (const std::string& line : unreadable) complain(line);
        for (const TFoundDocument& d : found) {
            const std::string below(names::FolderOf(d.Relative));
            const std::string folder = names::Join(outputRoot, below);
            jobs.push_back(
                TJob{d.Path, names::Join(dir, below + names::PageName(BaseNameOf(d.Relative))),
                     d.Relative,
                     folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder, "", 0});
        }
    }
    // A page on standard output clashes with nothing.
    TFileKeys keyOf;
    if (!s.toStdout) RefuseClashingPages(jobs, keyOf);
    // In an archive the folder's index page takes that name; the document's page would be
    // lost under it.
    for (TJob& j : jobs)
        if (!j.Folder.empty() && j.Refusal.empty() &&
            names::FileName(j.Page) == TIndexPages::kIndexName)
            j.Refusal = "Cannot create \"" + j.Page + "\": it is the folder's index page";
    // Shares and --update choose among all documents only now, so that a page two documents
    // would write goes to the same one in every share and in every run.
    std::erase_if(jobs, [&](const TJob& j) {
        // A refused document has no page of its own to be up to date: it fails every time.
        return (s.shard && !s.shard->Contains(j.Share)) ||
               (s.update && j.Refusal.empty() && UpToDate(j.Page, j.Input));
    });
    uint64_t bytes = 0;
    for (TJob& j : jobs) {
        struct stat info {};
        if (::stat(j.Input.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            j.Size = static_cast<uint64_t>(info.st_size);
        bytes += j.Size;
    }

    std::vector<std::string> inputs;
    for (const TJob& j : jobs) inputs.push_back(j.Input);
    TOrderedCommits order(inputs);
    TWorkerPool pool(s.jobs);
    // A document waiting for its turn to put its files in place encodes pictures of the
    // documents before it meanwhile, so no worker idles while one document has many.
    order.WhileWaiting([&pool] { return pool.HelpOnce(); });
    order.WhileSleeping([&pool] { pool.Lend(); }, [&pool] { pool.Resume(); });
    // What each document may write: its page, and pictures "<n>NAME.png" or ".bmp" in the
    // page's folder. Only documents that may write the same names wait for each other.
    std::vector<std::string> pageKeys, bases;
    for (const TJob& j : jobs) {
        pageKeys.push_back(keyOf(j.Page));
        bases.push_back(
            BaseNameOf(names::DocumentFile(j.Input)));  // "-" names its pictures "stdin"
    }
    order.MayWrite([&](size_t j, const std::string& key) {
        const std::string& page = pageKeys[j];
        if (key == page) return true;
        const std::string_view folder = names::FolderOf(page);
        return key.starts_with(folder) &&
               names::IsPictureName(std::string_view(key).substr(folder.size()), bases[j]);
    });
    // Documents that could want one file: the same folder, and names alike but for the
    // digits a picture's name begins with ("a" and "1a" may both write "11a.png"). Any
    // file two documents both may write lies within one family, so a document never waits
    // at the gate for one of another family.
    std::vector<std::string> families;
    for (size_t j = 0; j < jobs.size(); ++j) {
        families.push_back(std::string(names::FolderOf(pageKeys[j])) + '\n' +
                           std::string(names::PictureFamily(bases[j])));
    }
    // A worker waiting for its last pictures may run the next document meanwhile, on its
    // own thread, when that document can never wait for it.
    pool.MayNest([&](size_t outer, size_t next) { return families[outer] != families[next]; });
    TProgress progress(jobs.size(), bytes, s.terminal, s.quiet, s.watch != nullptr);
    auto cancelled = [&s] { return s.watch && s.watch->Cancelled(); };
    auto ended = [&](const std::string& input, const std::string& reason) {
        if (s.watch)
            s.watch->Ended(input, reason, progress.Done(), jobs.size(), progress.SecondsLeft());
    };
    std::atomic<bool> anyFailed{false};
    std::mutex recordsLock;
    std::map<std::string, std::vector<TPageRecord>> records;  // by output folder

    pool.RunDocuments(jobs.size(), [&](size_t i) {
        const TJob& job = jobs[i];
        if (cancelled()) {
            order.Finish(i, false);
            return;
        }
        if (s.watch) s.watch->Started(job.Input, jobs.size());
        bool finished = false;
        try {
            if (!job.Refusal.empty()) throw Exception(job.Refusal);
            if (!job.Folder.empty()) {
                std::error_code error;
                std::filesystem::create_directories(job.Folder, error);
                if (error)
                    throw EInOutError(
                        "Cannot create the folder \"" + job.Folder + "\": " + error.message(),
                        job.Folder, error.message());
            }
            const std::string kind = LooksLikeOtherText(Head(job.Input));
            if (!kind.empty())
                progress.Warn(job.Input + ": looks like " + kind +
                              ", not a Vornik document; converted anyway");
            TFixedOptions options(s.colors, s.pitch42, s.bmp);
            // A page for standard output is written aside and copied there on success.
            const std::unique_ptr<TStdoutPage> toStdout =
                s.toStdout ? std::make_unique<TStdoutPage>() : nullptr;
            TNamedFiles files(names::DocumentFile(job.Input),
                              toStdout ? toStdout->FileName() : job.Page);
            std::optional<TCancellableGate> cancellableGate;
            std::optional<TCancellablePictures> cancellablePictures;
            TCommitGate* gate = &order.Gate(i);
            TPictureWork* pictureWork = &pool;
            if (s.watch) {
                gate = &cancellableGate.emplace(*gate, *s.watch);
                pictureWork = &cancellablePictures.emplace(pool, *s.watch);
            }
            TConversionRun run(options, files, s.style, s.run, gate, pictureWork);
            const TRunResult result = run.Run();
            if (toStdout) toStdout->CopyToStdout();
            order.Finish(i, true);
            finished = true;
            progress.Converted(job.Input, job.Page, result.PictureFiles, job.Size);
            ended(job.Input, "");
            if (!job.Folder.empty()) {
                TPageRecord r{
                    std::string(names::FileName(job.Page)), std::string(names::FileName(job.Input)),
                    job.Size, result.PictureFiles,
                    result.PictureFiles == 0 ? std::string()
                                             : names::PictureName(1, BaseNameOf(job.Input), s.bmp)};
                std::lock_guard<std::mutex> lock(recordsLock);
                records[job.Folder].push_back(r);
            }
        } catch (const std::exception& e) {
            if (!finished) order.Finish(i, false);
            anyFailed = true;
            // A document abandoned by a cancel has not failed: it is simply not converted.
            if (!finished && cancelled()) return;
            progress.Failed(job.Input, e.what());
            ended(job.Input, e.what());
        }
    });
    failed = failed || anyFailed;

    const std::string recordName = TPageRecords::FileName(
        s.shard ? "-" + std::to_string(s.shard->K()) + "-of-" + std::to_string(s.shard->N())
                : std::string());
    try {
        for (const auto& [folder, list] : records) TPageRecords::Update(folder, recordName, list);
        // A share leaves the index pages to --index, once every share is done.
        if (archive && !s.shard) buildIndexes();
    } catch (const std::exception& e) {
        complain(e.what());
    }
    progress.Finish();
    return failed || cancelled() ? 1 : 0;
}

}  // namespace quill
