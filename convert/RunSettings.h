#pragma once

#include <string_view>

#include "convert/NameEncoding.h"
#include "convert/PageLanguage.h"
#include "platform/Platform.h"
#include "platform/ProcessorFeatures.h"

namespace quill {

// What a run is told besides the window's options, fixed for the whole run: the kind of
// page, where its pictures go and how the document begins. The window leaves them all
// at their defaults, which give the classic page.
struct TRunSettings {
    bool Html5 = false;            // the modern page: UTF-8, HTML5, crisp pictures
    bool Embed = false;            // pictures inside the page as data: URIs; no picture files
    bool ClassicPictures = false;  // the modern page with the classic page's PNG files, not
                                   // the compact ones
    int Scale = 0;                 // pictures shown 256 x Scale pixels wide; 0: 640 wide
    bool SkipHeader = false;       // skip the 17-byte header whatever the document's name
    bool NoPictureFiles = false;   // picture files cannot be written: refuse a picture
                                   // unless it is embedded (a page on standard output)
    // The widest kernels the run may use, in its searches and in its PNG pictures: the
    // processor's widest unless narrower ones are asked for, as tests do to check every
    // width on one machine.
    TVectorWidth Widest = TVectorWidth::Avx512;
    // Where the files are: the operating system's unless another is given (tests).
    TPlatform* Platform = nullptr;
    // The modern page's language (a tag such as "uk"); empty: by its text, "ru" or "en".
    language::TLanguageTag Lang = {};
    // How the modern page's title shows a document name that is not UTF-8 (cp866).
    names::TNameEncoding NameEncoding = {};
    // Markup the modern page's body starts with, before the text: an archive's bar of
    // links, held by the caller for the run. Empty: none.
    std::string_view Bar = {};
};

}  // namespace quill
