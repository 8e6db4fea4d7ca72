#include "archive/CallInputs.h"

#include "archive/DocumentFilter.h"
#include "archive/FolderWalk.h"
#include "convert/DocumentNames.h"

namespace quill {

namespace {

std::string BaseNameOf(const std::string& path) {
    return names::DeriveNames(path).BaseName;
}

// The page of a document named on the command line: -o, or DIR/NAME.htm.
std::string PageOf(const TCallSettings& s, const std::string& input) {
    if (s.page) return *s.page;
    return names::Join(s.dir.value_or(""), names::PageName(BaseNameOf(names::DocumentFile(input))));
}

}  // namespace

bool ListInputs(const TCallSettings& s, const std::string& outputRoot, TPlatform& platform,
                TArchiveRoots& roots, std::vector<TCallJob>& jobs, bool& archive,
                const std::function<void(const std::string&)>& complain) {
    const std::string dir = s.dir.value_or("");
    const TDocumentFilter filter(s.patterns);
    const auto makeRoot = [&] {
        if (s.dryRun) return true;
        if (const int error = platform.MakeFolders(outputRoot)) {
            complain(outputRoot + ": Cannot create the folder: " + TPlatform::Reason(error));
            return false;
        }
        return true;
    };
    // -d DIR is made for documents named alone too, as for an archive.
    if (!dir.empty() && !makeRoot()) return false;
    for (const std::string& input : s.inputs) {
        // With -o every INPUT is one document; a folder is refused by its run.
        if (input.empty() || s.page || !platform.Status(input).IsFolder()) {
            jobs.push_back(TCallJob{input, PageOf(s, input), input, "", "", 0});
            continue;
        }
        if (!archive && dir.empty() && !makeRoot()) return false;
        archive = true;
        const int root = roots.Add(input);
        std::vector<TFoundDocument> found;
        std::vector<std::string> unreadable;
        TFolderWalk(filter, outputRoot, platform).Walk(input, found, unreadable);
        for (const std::string& line : unreadable) complain(line);
        for (const TFoundDocument& d : found) {
            const std::string below(names::FolderOf(d.Relative));
            const std::string folder = names::Join(outputRoot, below);
            TCallJob job{
                d.Path,     names::Join(dir, below + names::PageName(BaseNameOf(d.Relative))),
                d.Relative, folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder,
                "",         0};
            job.Root = root;
            jobs.push_back(std::move(job));
        }
    }
    return true;
}

}  // namespace quill
