#include "convert/DocumentNames.h"

#include <cstdint>

#include "platform/Platform.h"

namespace quill::names {

namespace {

constexpr std::string_view kPage = ".htm";
constexpr std::string_view kPng = ".png";
constexpr std::string_view kBmp = ".bmp";

// One character of a file name: one byte, or one well-formed UTF-8 sequence ("ж" is two
// bytes). A lone byte of an old single-byte code page is one character too.
bool IsOneCharacter(std::string_view s) {
    if (s.size() == 1) return true;
    const auto lead = static_cast<uint8_t>(s[0]);
    const size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                                                         : 0;
    if (s.size() != length) return false;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) return false;
    return true;
}

}  // namespace

std::string DocumentFile(const std::string& input) {
    return input == kStandardStream ? kStandardInputFile : input;
}

std::string ShownName(const std::string& documentFile) {
    return documentFile == kStandardInputFile ? std::string(FileName(documentFile)) : documentFile;
}

std::string_view FileName(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FolderOf(std::string_view path) {
    const size_t slash = path.find_last_of(kPathSeparators);
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string Join(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && kPathSeparators.find(joined.back()) == std::string_view::npos)
        joined += '/';
    return joined += name;
}

TDocumentName DeriveNames(std::string_view path) {
    const std::string_view name = FileName(path);
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return {std::string(name), false};
    const bool skip =
        name.size() > dot + 2 && name[dot + 1] == '$' && IsOneCharacter(name.substr(dot + 2));
    return {std::string(name.substr(0, dot)), skip};
}

std::string PageName(std::string_view baseName) {
    return std::string(baseName) += kPage;
}

std::string PictureName(int n, std::string_view baseName, bool bmp) {
    return (std::to_string(n) += baseName) += bmp ? kBmp : kPng;
}

bool IsPictureName(std::string_view fileName, std::string_view baseName) {
    if (!fileName.ends_with(kPng) && !fileName.ends_with(kBmp)) return false;
    // The number is what comes before the BaseName, which may itself begin with digits:
    // "11a.png" is picture 11 of "a" and picture 1 of "1a".
    const std::string_view stem = fileName.substr(0, fileName.size() - kPng.size());
    if (stem.size() <= baseName.size() || !stem.ends_with(baseName)) return false;
    const std::string_view number = stem.substr(0, stem.size() - baseName.size());
    return number.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string_view PictureFamily(std::string_view baseName) {
    return baseName.substr(std::min(baseName.find_first_not_of("0123456789"), baseName.size()));
}

std::string_view PageTitle(std::string_view inputName) {
    return FileName(inputName);
}

}  // namespace quill::names
