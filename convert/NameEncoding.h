#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// How a file name is shown to a reader (index pages, the modern page's title, progress
// lines). Names unpacked from archives made on DOS hold the bytes of its code page, cp866
// as the documents themselves, where a page and a terminal want UTF-8. Only what is shown
// changes: links and the files written keep the name's bytes.
namespace quill::names {

class TNameEncoding {
  public:
    // cp866, the documents' own code page.
    TNameEncoding() = default;
    // By the name of a code page: "utf-8" shows names as they are; "cp866" the documents'
    // own; any other single-byte code page that the system knows by its name
    // (platform/SystemCodePage.h).
    // Nothing for a name it does not know or a code page of more than one byte a letter.
    static std::optional<TNameEncoding> Named(std::string_view name);

    // The path as its reader sees it: each part between "/" that is valid UTF-8 as it is,
    // every other with its bytes 128 to 255 decoded. Bytes below 128 stay: a file system
    // reads "/" and "." as ASCII, and the code pages of DOS and Windows names agree there.
    std::string Shown(std::string_view path) const;

    // The code page as it was named, "utf-8" for names as they are; "" for cp866.
    std::string_view Name() const { return name_; }

  private:
    using TUpperHalf = std::array<std::string, 128>;
    enum class TKind { Cp866, AsItIs, Table };
    TKind kind_ = TKind::Cp866;
    // TKind::Table: the UTF-8 of bytes 128 to 255, made once a process for each code page
    // asked for, so that the settings copied to every run copy a pointer.
    const TUpperHalf* upper_ = nullptr;
    std::string_view name_;  // a literal, or the key of the table's entry: it stays
};

}  // namespace quill::names
