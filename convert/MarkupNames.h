#pragma once

#include <string>
#include <string_view>

// How a file name reaches a page's markup. Names come from whoever made an archive, and
// the pages are published: no byte of a name may end an attribute, start a tag or an
// entity, or turn a relative address into another scheme, a fragment or a query. Every
// writer of a page or an index page takes its names through here.
namespace quill::names {

// A picture file name as the classic page's image address: the bytes that would end the
// attribute or change what the address means (" # % & < > ?) percent-encoded, and so are
// the bytes a browser would drop or read as cp866 letters (control bytes, 127 and up),
// which find no file unless encoded. Every other byte stays as it is, so that the pages
// of plain names are what they always were.
std::string ClassicAddress(std::string_view fileName);

// A file name as a relative address in a modern page or an index page: everything but
// letters, digits and "-._~$!'()*+,;=@" percent-encoded. ":" is encoded too, so that a
// name such as "javascript:x" stays a name and never becomes a scheme.
std::string AddressOf(std::string_view fileName);

// The bytes an address names, as a browser takes them: each "%XX" as its byte; a "%"
// without two hex digits after it stays as it is.
std::string PercentDecoded(std::string_view address);

// The length of the UTF-8 character at the start of s (well formed: no overlong form, no
// surrogate, nothing past U+10FFFF), or 0 when it is none.
size_t Utf8Length(std::string_view s);

// A file name as HTML text (titles, index rows): UTF-8 kept; "&", "<", ">" and the double
// quote escaped; bytes that are no UTF-8, and control bytes, become U+FFFD.
std::string HtmlText(std::string_view name);

// A name as plain UTF-8 text for places that escape it in their own way (a search
// record's title): the same, but "&", "<", ">" and the double quote as they are.
std::string PlainText(std::string_view name);

}  // namespace quill::names
