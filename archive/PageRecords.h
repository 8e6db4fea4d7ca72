#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quill {

class TStagedFiles;

// What an output folder keeps of one of its pages: what its index says of the page and
// the page itself cannot tell, and what a later run needs to know whether the page is
// still what it would write.
struct TPageRecord {
    std::string Page;                // the page's file name, in the record's folder
    std::string Document;            // the document's file name, without folder
    uint64_t Size = 0;               // the document's size in bytes, when it was converted
    int Pictures = 0;                // pictures the page shows
    std::string FirstPicture;        // the first picture file's name; empty when none
    std::string Archive;             // the folder INPUT the document was found in, absolute
    std::string Source;              // the document's path below it
    int64_t Time = 0;                // the document's modification time (ns), when it was converted
    std::string Options;             // the options that shaped the page and pictures (PageOptions)
    std::vector<std::string> Files;  // the picture files beside the page, in order
    bool Gone = false;               // its document no longer exists: no index lists it
    // The files of the site beside the page (its face, its whole page, the original), in
    // the order staged; and what its index row says of it.
    std::vector<std::string> Extras;
    std::string FirstLine;  // the document's first line of text, UTF-8 (with its face)
    std::string Bar;        // the bar the modern page starts with, as written
    int64_t Made = 0;       // when the page was written (ns since 1970), with the extras
    // A row of the record file a whole folder had before each page had its own: it has
    // neither the document's source and time nor the options.
    bool Old = false;
};

// Each page of an archive has a record of its own, in the hidden folder ".vornik2html"
// of the page's folder, named after the page (PathOf): the record is staged with the page
// and its pictures and put in place after them, so an interrupted call leaves the records
// of every document it finished, shares on other machines never write the same record,
// and no record is rewritten for another document's sake. Reading also takes the record
// files of earlier versions, one per folder (".vornik2html-pages", a share's
// ".vornik2html-pages-2-of-8"), for the pages that have no record of their own.
class TPageRecords {
  public:
    static constexpr const char* kFolder = ".vornik2html";

    // Where the record of page (a file name) of folder lies: NAME.rec for NAME.htm, a
    // name as long as the page's (so legal when the page's is) that no tool walking the
    // site for its pages takes for one.
    static std::string PathOf(const std::string& folder, const std::string& page);
    // The record's file as this version writes it, and read back (nullopt: not a record).
    static std::string Text(const TPageRecord& record);
    static std::optional<TPageRecord> Parse(const std::string& text);

    // The record of one page of folder, of its own; nullopt when it has none that reads.
    static std::optional<TPageRecord> ReadOne(const std::string& folder, const std::string& page,
                                              TPlatform& platform = TPlatform::Real());
    // Every page recorded in folder, by page file name, gone ones included. A record that
    // cannot be read is left out, and named in unreadable ("FILE: reason") when given.
    static std::map<std::string, TPageRecord> Read(const std::string& folder,
                                                   TPlatform& platform = TPlatform::Real(),
                                                   std::vector<std::string>* unreadable = nullptr);

    // Stages folder's record of a page among files, put in place after all of them (after
    // the page), making the record folder as needed. Fails with EInOutError.
    static void Stage(TStagedFiles& files, const std::string& folder, const TPageRecord& record,
                      TPlatform& platform = TPlatform::Real());
    // Puts one record in place by itself.
    static void Write(const std::string& folder, const TPageRecord& record,
                      TPlatform& platform = TPlatform::Real());
};

}  // namespace quill
