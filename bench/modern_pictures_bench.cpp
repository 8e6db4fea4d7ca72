// What the modern page's compact pictures save: converts the inputs of archive_bench (an
// archive of 400 documents and one document of 300 pictures) at -j 1, once as classic
// pages and once as --html5 pages a round, and prints the processor time of the runs and
// the bytes of their picture files, each ratio of modern to classic and whether it meets
// its target (at most 0.4 for both). Each run is a process of its own, as a user's run
// is, so that no run starts with a heap another run has grown; its time is the system's
// count of the child's processor time (all threads), the ratio the median of the rounds'.
//
//     build/bench/modern_pictures_bench [ROUNDS]   # 5 by default
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ArchiveCall.h"
#include "support/ArchiveInputs.h"

using namespace quill;

namespace {

constexpr double kTarget = 0.4;

// One call of the converter at -j 1 in a child process; answers its processor time, or a
// negative time when the call failed.
double ConvertInChild(const std::string& input, const std::string& output, bool html5) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        TCallSettings s;
        s.colors = true;
        s.quiet = true;
        s.jobs = 1;
        s.dir = output;
        s.inputs = {input};
        s.run.Html5 = html5;
        ::_exit(RunCall(s));
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

struct TPictureFiles {
    int Count = 0;
    uintmax_t Bytes = 0;
};

TPictureFiles PictureFiles(const std::string& folder) {
    TPictureFiles files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file() && e.path().extension() == ".png") {
            ++files.Count;
            files.Bytes += e.file_size();
        }
    return files;
}

const char* Met(double ratio) {
    return ratio <= kTarget ? "met" : "NOT met";
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string root = bench::ScratchRoot(nullptr, "quill-modern");
    if (root.empty()) return 1;
    bench::WriteArchiveInputs(root);

    std::printf("-j 1, processor time (median of %d rounds); bytes of the PNG files\n", rounds);
    std::printf("%-32s %9s %9s %7s %22s %22s %7s\n", "", "classic", "--html5", "ratio",
                "classic pictures", "--html5 pictures", "ratio");
    bool failed = false;
    for (const char* what : {"archive", "one"}) {
        const std::string input = root + "/" + what;
        std::vector<double> classic, modern;
        TPictureFiles classicFiles, modernFiles;
        for (int r = 0; r < rounds; ++r) {
            // Each run writes into a fresh folder, removed before the next run.
            for (const bool html5 : {false, true}) {
                const std::string out = root + "/out-" + std::to_string(r) + (html5 ? "m" : "c");
                const double seconds = ConvertInChild(input, out, html5);
                failed = failed || seconds < 0;
                (html5 ? modern : classic).push_back(seconds);
                (html5 ? modernFiles : classicFiles) = PictureFiles(out);
                std::filesystem::remove_all(out);
            }
        }
        if (modernFiles.Count != classicFiles.Count) failed = true;
        const double timeRatio = bench::MedianRatio(modern, classic);
        const double bytesRatio =
            static_cast<double>(modernFiles.Bytes) / static_cast<double>(classicFiles.Bytes);
        const std::string name = what == std::string("one") ? "1 document, 300 pictures"
                                                            : "400 documents, text and pictures";
        std::printf("%-32s %8.3fs %8.3fs %7.3f %4d files %9ju B %4d files %9ju B %7.3f\n",
                    name.c_str(), bench::Median(classic), bench::Median(modern), timeRatio,
                    classicFiles.Count, classicFiles.Bytes, modernFiles.Count, modernFiles.Bytes,
                    bytesRatio);
        std::printf("%-32s time %s, bytes %s (targets <= %.1f)\n", "", Met(timeRatio),
                    Met(bytesRatio), kTarget);
    }
    std::filesystem::remove_all(root);
    if (failed) std::fprintf(stderr, "modern_pictures_bench: a conversion failed\n");
    return failed ? 1 : 0;
}
