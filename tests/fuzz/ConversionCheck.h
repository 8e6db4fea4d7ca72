// Arbitrary document bytes through the whole conversion run, with every combination of
// the options and both page styles: the run completes or raises one of our errors, and
// writes nothing but the page and its pictures into the page's folder.
// It aborts the process on a broken promise, so libFuzzer and the regression test
// both see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "convert/ByteScan.h"
#include "convert/ConversionRun.h"
#include "convert/FixedAnswers.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/Exception.h"
#include "platform/MemoryPlatform.h"
#include "png/PngRegistration.h"

namespace quill::fuzz {

inline void CheckConversion(const uint8_t* data, size_t size) {
    static TPngRegistration registration;
    if (size == 0) return;
    // Byte 0: colors, 42 pitch, BMP pictures, second style, a document name with a
    // header to skip, the modern page, embedded pictures, classic pictures. The rest is
    // the document.
    const uint8_t choice = data[0];
    // All in memory: a fresh platform each input, so no input sees another's files.
    TMemoryPlatform memory;
    const std::string input = choice & 16 ? "/doc.$w" : "/doc.txt";
    const std::string out = "/out";
    memory.WriteFile(input, std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    memory.MakeFolder(out);

    // One run; answers the page's bytes and the error's message.
    auto convert = [&](TRunResult& result, std::string& error,
                       TVectorWidth widest = TVectorWidth::Avx512) {
        TFixedOptions options(choice & 1, choice & 2, choice & 4);
        TNamedFiles files(input, out + "/page.htm");
        const TRunSettings settings{.Html5 = (choice & 32) != 0,
                                    .Embed = (choice & 64) != 0,
                                    .ClassicPictures = (choice & 128) != 0,
                                    .Widest = widest,
                                    .Platform = &memory};
        TConversionRun run(options, files, choice & 8 ? TPageStyle::Quillo : TPageStyle::Quilloc,
                           settings);
        try {
            result = run.Run();
        } catch (const Exception& e) {
            error = e.Message();
        }
        return memory.ReadFile(out + "/page.htm");
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
    const std::map<std::string, std::string> written = memory.Files(out);
    for (const auto& [name, bytes] : written) {
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
        memory.Remove(out + "/" + name);
    }
    if (!memory.Files("/tmp").empty()) {
        std::fprintf(stderr, "a temporary file was left behind\n");
        std::abort();
    }
    // (Embedded pictures are counted but are no files.)
    if (result.Completed && pictures != (choice & 64 ? 0 : result.PictureFiles)) {
        std::fprintf(stderr, "%d picture files written, %d reported\n", pictures,
                     result.PictureFiles);
        std::abort();
    }

    // The same run with the narrowest searches and filters (a byte at a time) writes the
    // same page and pictures, and stops with the same error.
    {
        TRunResult plainResult;
        std::string plainError;
        const std::string plainPage = convert(plainResult, plainError, TVectorWidth::Plain);
        if (plainPage != page || plainError != error) {
            std::fprintf(stderr, "the page differs between vector widths\n");
            std::abort();
        }
        if (memory.Files(out) != written) {
            std::fprintf(stderr, "the pictures differ between vector widths\n");
            std::abort();
        }
    }
}

}  // namespace quill::fuzz
