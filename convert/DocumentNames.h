#pragma once

#include <string>
#include <string_view>

// Every rule that names a file from a document's name, in one place: what a document is
// called, which page and pictures it writes, and how standard input is named. The window,
// the command line, the commit order and the index pages all ask here.
namespace quill::names {

// "-" is a standard stream: as an INPUT standard input, read through kStandardInputFile
// and so named "stdin" as any document is named by its file; as the page, standard output.
inline constexpr std::string_view kStandardStream = "-";
inline constexpr const char* kStandardInputFile = "/dev/stdin";
// The file a run reads for an INPUT.
std::string DocumentFile(const std::string& input);
// How messages name the document a run reads: standard input as "stdin", as its page is
// named; any other file as it is given.
std::string ShownName(const std::string& documentFile);

// What follows the last "/" or "\" of a path: a document's name is taken from either kind
// of folder separator, whatever the system.
std::string_view FileName(std::string_view path);
// The folder of a file for joining its neighbours to: up to and including the last "/"
// (or "\" on Windows), or "" for a file of the current folder.
std::string_view FolderOf(std::string_view path);
// folder and name with one "/" between them; name alone when folder is "".
std::string Join(std::string_view folder, std::string_view name);

// A document's BaseName and whether its 17-byte header is skipped: the file name cut at
// its first "."; the header is skipped when that "." is followed by "$" and exactly one
// more character (a character, not a byte: "obzor.$ж" has one).
struct TDocumentName {
    std::string BaseName;
    bool SkipHeader = false;
};
TDocumentName DeriveNames(std::string_view path);

// The page of a document named baseName, without folder: "obzor.htm".
std::string PageName(std::string_view baseName);
// Picture n of a document named baseName, without folder: "3obzor.png" or ".bmp".
std::string PictureName(int n, std::string_view baseName, bool bmp);
// Whether fileName (without folder) is a name that PictureName gives for baseName, for
// some n and either format.
bool IsPictureName(std::string_view fileName, std::string_view baseName);
// Documents of one folder whose picture names may meet have the same family: their
// BaseName without its leading digits ("a" and "1a" both may write "11a.png").
std::string_view PictureFamily(std::string_view baseName);

// The modern page's title: the document's file name.
std::string_view PageTitle(std::string_view inputName);

}  // namespace quill::names
