#pragma once

#include "convert/PageLanguage.h"
#include "convert/VectorWidth.h"

namespace quill {

// What a run is told besides the window's options, fixed for the whole run: the kind of
// page, where its pictures go and how the document begins. The window leaves them all
// at their defaults, which give the classic page.
struct TRunSettings {
    bool Html5 = false;           // the modern page: UTF-8, HTML5, crisp pictures
    bool Embed = false;           // pictures inside the page as data: URIs; no picture files
    int Scale = 0;                // pictures shown 256 x Scale pixels wide; 0: 640 wide
    bool SkipHeader = false;      // skip the 17-byte header whatever the document's name
    bool NoPictureFiles = false;  // picture files cannot be written: refuse a picture
                                  // unless it is embedded (a page on standard output)
    // The widest searches the run may use: the processor's widest unless narrower ones
    // are asked for, as tests do to check every width on one machine.
    scan::TVectorWidth Widest = scan::TVectorWidth::Avx512;
    // The modern page's language (a tag such as "uk"); empty: by its text, "ru" or "en".
    language::TLanguageTag Lang = {};
};

}  // namespace quill
