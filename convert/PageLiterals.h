#pragma once

#include <array>
#include <string_view>

// Every literal the conversion run writes into a page, in one place, so that tests can
// name them and the writer can hand them over without copying.
namespace quill::page {

using namespace std::string_view_literals;

// Header of the main program: first piece by "use colors" (dark page with bold cyan text,
// or light page), then the size, the middle piece, the size again and the closing piece.
inline constexpr std::string_view kHeaderDark =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "HTTP-EQUIV=\"Content-Type\" content=\"text/html;charset=cp866\"><style "
    "type=\"text/css\">\r\nbody{background:black}\r\npre{color:#00cccc;font-weight:bold;font-"
    "size:"sv;
inline constexpr std::string_view kHeaderLight =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "HTTP-EQUIV=\"Content-Type\" content=\"text/html;charset=cp866\"><style "
    "type=\"text/css\">\r\nbody{background:white}\r\npre{font-size:"sv;
inline constexpr std::string_view kHeaderMiddle = "px;line-height:"sv;

// Header of the second program: always dark, with its own order inside the "pre" rule.
inline constexpr std::string_view kQuilloHeaderFirst =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "HTTP-EQUIV=\"Content-Type\" content=\"text/html;charset=cp866\"><style "
    "type=\"text/css\">\r\nbody{background:black}\r\npre{color:#00cccc;font-size:"sv;
inline constexpr std::string_view kQuilloHeaderMiddle = "px;font-weight:bold;line-height:"sv;

// Font size and line height, with and without "42 pitch".
inline constexpr std::string_view kPitch42Size = "25"sv;
inline constexpr std::string_view kNormalSize = "17"sv;

// Closing piece of the header, shared by both programs and both page colours.
inline constexpr std::string_view kHeaderLast =
    "px}\r\n.b{color:#0000cc}\r\n.r{color:#cc0000}\r\n.m{color:#cc00cc}\r\n.g{color:#00cc00}"
    "\r\n.c{color:#00cccc}\r\n.y{color:#cccc00}\r\n.w{color:#cccccc}\r\n</style></head><body>"
    "<pre>\r\n"sv;

inline constexpr std::string_view kFooter = "\r\n</pre></body></html>"sv;

// Markup by colour code 1 to 7 (entry 0 is never written).
inline constexpr std::array<std::string_view, 8> ColourOpeners = {
    ""sv,
    "<span class=b>"sv,
    "<span class=r>"sv,
    "<span class=m>"sv,
    "<span class=g>"sv,
    "<span class=c>"sv,
    "<span class=y>"sv,
    "<span class=w>"sv,
};
inline constexpr std::array<std::string_view, 8> StyleOpeners = {
    ""sv, "<I><U>"sv, "<B><U>"sv, "<B><I><U>"sv, "<I>"sv, "<B><I>"sv, "<B>"sv, "<U>"sv,
};
inline constexpr std::array<std::string_view, 8> StyleClosers = {
    ""sv, "</U></I>"sv, "</U></B>"sv, "</U></I></B>"sv, "</I>"sv, "</I></B>"sv, "</B>"sv, "</U>"sv,
};
inline constexpr std::string_view kColourCloser = "</span>"sv;

// What a code byte 1 to 8 takes of the line: one character position.
inline constexpr std::string_view kCodeSpace = " "sv;
inline constexpr std::string_view kLineBreak = "\r\n"sv;
inline constexpr std::string_view kLessThan = "&lt;"sv;
inline constexpr std::string_view kGreaterThan = "&gt;"sv;
inline constexpr std::string_view kTilde = "&tilde;"sv;
inline constexpr std::string_view kCopyright = "&copy;"sv;

// An image line: start, picture file name, end.
inline constexpr std::string_view kImageStart = "<img src=\""sv;
inline constexpr std::string_view kImageEnd = "\" width=\"640\">\r\n"sv;

static_assert(kHeaderDark.size() == 235);
static_assert(kHeaderLight.size() == 204);
static_assert(kQuilloHeaderFirst.size() == 218);
static_assert(kQuilloHeaderMiddle.size() == 32);
static_assert(kHeaderLast.size() == 166);

}  // namespace quill::page
