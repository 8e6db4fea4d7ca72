// Arbitrary document bytes through the whole conversion run, with every combination of
// the options and both page styles: the run completes or raises one of our errors, and
// writes nothing but the page and its pictures into the page's folder.
// It aborts the process on a broken promise, so libFuzzer and the regression test
// both see it.
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "convert/ByteScan.h"
#include "convert/ConversionRun.h"
#include "convert/FixedAnswers.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/Exception.h"
#include "png/PngRegistration.h"

namespace quill::fuzz {

namespace detail {

// A folder of this process's own, removed at exit; the document lives outside it.
inline const std::filesystem::path& Scratch() {
    static const std::filesystem::path folder = [] {
        std::string name =
            (std::filesystem::temp_directory_path() / "quill-conversion-XXXXXX").string();
        if (!::mkdtemp(name.data())) std::abort();
        static const std::string remove = name;
        std::atexit([] { std::filesystem::remove_all(remove); });
        std::filesystem::create_directory(std::filesystem::path(name) / "out");
        return std::filesystem::path(name);
    }();
    return folder;
}

}  // namespace detail

inline void CheckConversion(const uint8_t* data, size_t size) {
    static TPngRegistration registration;
    if (size == 0) return;
    // Byte 0: colors, 42 pitch, BMP pictures, second style, a document name with a
    // header to skip, the modern page, embedded pictures, classic pictures. The rest is
    // the document.
    const uint8_t choice = data[0];
    const std::filesystem::path& scratch = detail::Scratch();
    const std::string input = (scratch / (choice & 16 ? "doc.$w" : "doc.txt")).string();
    const std::filesystem::path out = scratch / "out";
    {
        std::ofstream document(input, std::ios::binary | std::ios::trunc);
        document.write(reinterpret_cast<const char*>(data + 1),
                       static_cast<std::streamsize>(size - 1));
        if (!document) std::abort();
    }

    // One run; answers the page's bytes and the error's message.
    auto convert = [&](TRunResult& result, std::string& error,
                       scan::TVectorWidth widest = scan::TVectorWidth::Avx512) {
        TFixedOptions options(choice & 1, choice & 2, choice & 4);
        TNamedFiles files(input, (out / "page.htm").string());
        const TRunSettings settings{.Html5 = (choice & 32) != 0,
                                    .Embed = (choice & 64) != 0,
                                    .ClassicPictures = (choice & 128) != 0,
                                    .Widest = widest};
        TConversionRun run(options, files, choice & 8 ? TPageStyle::Quillo : TPageStyle::Quilloc,
                           settings);
        try {
            result = run.Run();
        } catch (const Exception& e) {
            error = e.Message();
        }
        std::ifstream page(out / "page.htm", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(page), {});
    };
    TRunResult result;
    std::string error;
    const std::string page = convert(result, error);
    // A document the run cannot read is answered with an error naming it.
    if (!error.empty() && error.find(input) == std::string::npos) {
        std::fprintf(stderr, "error without the document's name: %s\n", error.c_str());
        std::abort();
    }
    // The folder holds the page and "<n>doc.png" or ".bmp" files, as many as reported,
    // and nothing at all after a failed run.
    int pictures = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        const size_t digits = name.find_first_not_of("0123456789");
        const bool picture = digits > 0 && digits != std::string::npos &&
                             (name.substr(digits) == "doc.png" || name.substr(digits) == "doc.bmp");
        if (name != "page.htm" && !picture) {
            std::fprintf(stderr, "unexpected file \"%s\" beside the page\n", name.c_str());
            std::abort();
        }
        if (!result.Completed) {
            std::fprintf(stderr, "a failed run left \"%s\" behind\n", name.c_str());
            std::abort();
        }
        pictures += picture;
        std::filesystem::remove_all(entry.path(), ec);
    }
    // (Embedded pictures are counted but are no files.)
    if (result.Completed && pictures != (choice & 64 ? 0 : result.PictureFiles)) {
        std::fprintf(stderr, "%d picture files written, %d reported\n", pictures,
                     result.PictureFiles);
        std::abort();
    }

    // The same run with the narrowest searches (a byte at a time) writes the same page and
    // stops with the same error.
    {
        TRunResult plainResult;
        std::string plainError;
        const std::string plainPage = convert(plainResult, plainError, scan::TVectorWidth::Plain);
        if (plainPage != page || plainError != error) {
            std::fprintf(stderr, "the page differs between vector widths\n");
            std::abort();
        }
        for (const auto& entry : std::filesystem::directory_iterator(out))
            std::filesystem::remove_all(entry.path(), ec);
    }
    std::filesystem::remove(input, ec);
}

}  // namespace quill::fuzz
