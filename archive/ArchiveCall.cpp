#include "archive/ArchiveCall.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "archive/FolderWalk.h"
#include "archive/IndexPages.h"
#include "archive/OrderedCommits.h"
#include "archive/PageClashes.h"
#include "archive/PageRecords.h"
#include "archive/Progress.h"
#include "archive/TextSniff.h"
#include "archive/WorkerPool.h"
#include "convert/ConversionRun.h"
#include "convert/DocumentNames.h"
#include "convert/FixedAnswers.h"
#include "convert/StandardStreams.h"
#include "platform/Exception.h"
#include "platform/FileIdentity.h"
#include "platform/WholeFiles.h"

namespace quill {

namespace {

using TJob = TArchiveCall::TJob;

std::string BaseNameOf(const std::string& path) {
    return names::DeriveNames(path).BaseName;
}

// The page of a document named on the command line: -o, or DIR/NAME.htm.
std::string PageOf(const TCallSettings& s, const std::string& input) {
    if (s.page) return *s.page;
    return names::Join(s.dir.value_or(""), names::PageName(BaseNameOf(names::DocumentFile(input))));
}

// Whether page exists and is no older than the document.
bool UpToDate(TPlatform& platform, const std::string& page, const std::string& input) {
    const TFileStatus p = platform.Status(page), d = platform.Status(input);
    return p.Exists() && d.Exists() && p.ModifiedNs >= d.ModifiedNs;
}

// The first bytes of a document, for a look at what kind of file it is: of a plain file
// only, for what a pipe or a device gives is read once, by the run.
std::string Head(TPlatform& platform, const std::string& path) {
    std::string head;
    if (platform.Status(path).IsFile()) ReadWholeFile(platform, path, head, 4096);
    return head;
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

TArchiveCall::TArchiveCall(const TCallSettings& settings)
    : settings_(settings),
      platform_(settings.platform ? *settings.platform : TPlatform::Real()),
      outputRoot_(settings.dir.value_or("").empty() ? "." : *settings.dir),
      keyOf_(platform_) {}

TArchiveCall::~TArchiveCall() = default;

int RunCall(const TCallSettings& settings) {
    return TArchiveCall(settings).Run();
}

void TArchiveCall::Complain(const std::string& line) {
    if (settings_.watch)
        settings_.watch->Failed(line);
    else
        std::cerr << "vornik2html: " << line << std::endl;
    failed_ = true;
}

bool TArchiveCall::Cancelled() const {
    return settings_.watch && settings_.watch->Cancelled();
}

int TArchiveCall::Run() {
    if (settings_.indexOnly) return IndexOnly();
    if (!List()) return 1;
    Refuse();
    Select();
    Schedule();
    pool_->RunDocuments(jobs_.size(), [this](size_t i) { ConvertOne(i); });
    WriteRecordsAndIndexes();
    progress_->Finish();
    return failed_ || Cancelled() ? 1 : 0;
}

int TArchiveCall::IndexOnly() {
    // A DIR that is not there has no index to write; saying nothing would pass a typo.
    const TFileStatus info = platform_.Status(outputRoot_);
    const int error = !info.Exists() ? info.Error : info.IsFolder() ? 0 : ENOTDIR;
    if (error != 0) {
        Complain(outputRoot_ + ": Cannot read the folder: " + TPlatform::Reason(error));
        return 1;
    }
    std::vector<std::string> failures;
    TIndexPages::Build(outputRoot_, failures, platform_);
    for (const std::string& line : failures) Complain(line);
    return failed_ ? 1 : 0;
}

bool TArchiveCall::List() {
    const TCallSettings& s = settings_;
    const std::string dir = s.dir.value_or("");
    const TDocumentFilter filter(s.patterns);
    for (const std::string& input : s.inputs) {
        // With -o every INPUT is one document; a folder is refused by its run.
        if (input.empty() || s.page || !platform_.Status(input).IsFolder()) {
            jobs_.push_back(TJob{input, PageOf(s, input), input, "", "", 0});
            continue;
        }
        if (!archive_) {
            if (const int error = platform_.MakeFolders(outputRoot_)) {
                Complain(outputRoot_ + ": Cannot create the folder: " + TPlatform::Reason(error));
                return false;
            }
            archive_ = true;
        }
        std::vector<TFoundDocument> found;
        std::vector<std::string> unreadable;
        TFolderWalk(filter, outputRoot_, platform_).Walk(input, found, unreadable);
        for (const std::string& line : unreadable) Complain(line);
        for (const TFoundDocument& d : found) {
            const std::string below(names::FolderOf(d.Relative));
            const std::string folder = names::Join(outputRoot_, below);
            jobs_.push_back(
                TJob{d.Path, names::Join(dir, below + names::PageName(BaseNameOf(d.Relative))),
                     d.Relative,
                     folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder, "", 0});
        }
    }
    return true;
}

void TArchiveCall::Refuse() {
    // A page on standard output clashes with nothing.
    if (!settings_.toStdout) RefuseClashingPages(platform_, jobs_, keyOf_);
    // In an archive the folder's index page takes that name; the document's page would be
    // lost under it.
    for (TJob& j : jobs_)
        if (!j.Folder.empty() && j.Refusal.empty() &&
            names::FileName(j.Page) == TIndexPages::kIndexName)
            j.Refusal = "Cannot create \"" + j.Page + "\": it is the folder's index page";
}

void TArchiveCall::Select() {
    const TCallSettings& s = settings_;
    std::erase_if(jobs_, [&](const TJob& j) {
        // A refused document has no page of its own to be up to date: it fails every time.
        return (s.shard && !s.shard->Contains(j.Share)) ||
               (s.update && j.Refusal.empty() && UpToDate(platform_, j.Page, j.Input));
    });
    for (TJob& j : jobs_)
        if (const TFileStatus info = platform_.Status(j.Input); info.IsFile()) j.Size = info.Size;
}

void TArchiveCall::Schedule() {
    std::vector<TOrderedCommits::TDocument> documents;
    std::vector<std::string> families;
    uint64_t bytes = 0;
    for (const TJob& j : jobs_) {
        // "-" names its pictures "stdin".
        documents.push_back({j.Input, keyOf_(j.Page), BaseNameOf(names::DocumentFile(j.Input))});
        // Documents that could want one file: the same folder, and names alike but for
        // the digits a picture's name begins with. Any file two documents both may write
        // lies within one family, so a document never waits at the gate for one of
        // another family.
        families.push_back(std::string(names::FolderOf(documents.back().PageKey)) + '\n' +
                           std::string(names::PictureFamily(documents.back().BaseName)));
        bytes += j.Size;
    }
    pool_ = std::make_unique<TWorkerPool>(settings_.jobs != 0 ? settings_.jobs
                                                              : platform_.ProcessorCount());
    order_ = std::make_unique<TOrderedCommits>(std::move(documents), pool_.get());
    // A worker waiting for its last pictures may run the next document meanwhile, on its
    // own thread, when that document can never wait for it.
    pool_->MayNest([families = std::move(families)](size_t outer, size_t next) {
        return families[outer] != families[next];
    });
    progress_ = std::make_unique<TProgress>(jobs_.size(), bytes, settings_.terminal,
                                            settings_.quiet, settings_.watch != nullptr, platform_);
}

void TArchiveCall::ConvertOne(size_t i) {
    const TJob& job = jobs_[i];
    TCallWatch* const watch = settings_.watch;
    if (Cancelled()) {
        order_->Finish(i, false);
        return;
    }
    if (watch) watch->Started(job.Input, jobs_.size());
    bool finished = false;
    try {
        const int pictures = ConvertJob(i);
        order_->Finish(i, true);
        finished = true;
        progress_->Converted(job.Input, job.Page, pictures, job.Size);
        if (watch)
            watch->Ended(job.Input, "", progress_->Done(), jobs_.size(), progress_->SecondsLeft());
        if (!job.Folder.empty()) {
            TPageRecord r{std::string(names::FileName(job.Page)),
                          std::string(names::FileName(job.Input)), job.Size, pictures,
                          pictures == 0
                              ? std::string()
                              : names::PictureName(1, BaseNameOf(job.Input), settings_.bmp)};
            std::lock_guard<std::mutex> lock(recordsLock_);
            records_[job.Folder].push_back(r);
        }
    } catch (const std::exception& e) {
        if (!finished) order_->Finish(i, false);
        failed_ = true;
        // A document abandoned by a cancel has not failed: it is simply not converted.
        if (!finished && Cancelled()) return;
        progress_->Failed(job.Input, e.what());
        if (watch)
            watch->Ended(job.Input, e.what(), progress_->Done(), jobs_.size(),
                         progress_->SecondsLeft());
    }
}

int TArchiveCall::ConvertJob(size_t i) {
    const TCallSettings& s = settings_;
    const TJob& job = jobs_[i];
    if (!job.Refusal.empty()) throw Exception(job.Refusal);
    if (!job.Folder.empty()) {
        if (const int error = platform_.MakeFolders(job.Folder)) {
            const std::string reason = TPlatform::Reason(error);
            throw EInOutError("Cannot create the folder \"" + job.Folder + "\": " + reason,
                              job.Folder, reason);
        }
    }
    const std::string kind = LooksLikeOtherText(Head(platform_, job.Input));
    if (!kind.empty())
        progress_->Warn(job.Input + ": looks like " + kind +
                        ", not a Vornik document; converted anyway");
    TFixedOptions options(s.colors, s.pitch42, s.bmp);
    // A page for standard output is written aside and copied there on success.
    const std::unique_ptr<TStdoutPage> toStdout =
        s.toStdout ? std::make_unique<TStdoutPage>(platform_) : nullptr;
    TNamedFiles files(names::DocumentFile(job.Input), toStdout ? toStdout->FileName() : job.Page);
    std::optional<TCancellableGate> cancellableGate;
    std::optional<TCancellablePictures> cancellablePictures;
    TCommitGate* gate = &order_->Gate(i);
    TPictureWork* pictureWork = &pool_->PicturesOf(i);
    if (s.watch) {
        gate = &cancellableGate.emplace(*gate, *s.watch);
        pictureWork = &cancellablePictures.emplace(*pictureWork, *s.watch);
    }
    TRunSettings runSettings = s.run;
    runSettings.Platform = &platform_;
    TConversionRun run(options, files, s.style, runSettings, gate, pictureWork);
    const TRunResult result = run.Run();
    if (toStdout) toStdout->CopyToStdout();
    return result.PictureFiles;
}

void TArchiveCall::WriteRecordsAndIndexes() {
    const TCallSettings& s = settings_;
    std::string share;  // a share's records are its own
    if (s.shard)
        share.append("-")
            .append(std::to_string(s.shard->K()))
            .append("-of-")
            .append(std::to_string(s.shard->N()));
    const std::string recordName = TPageRecords::FileName(share);
    try {
        for (const auto& [folder, list] : records_)
            TPageRecords::Update(folder, recordName, list, platform_);
        // A share leaves the index pages to --index, once every share is done.
        if (archive_ && !s.shard) {
            std::vector<std::string> failures;
            TIndexPages::Build(outputRoot_, failures, platform_);
            for (const std::string& line : failures) Complain(line);
        }
    } catch (const std::exception& e) {
        Complain(e.what());
    }
}

}  // namespace quill
