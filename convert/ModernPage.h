#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "convert/PageLiterals.h"

// The modern page: HTML5 in UTF-8, with the look of the classic page. Its literals, and
// what each byte of the document's text writes in it.
namespace quill::modern {

using namespace std::string_view_literals;

// The page up to its language, the language, the head up to the title, the title (the
// document's file name) and the rest of the head up to the style rules, which are those
// of the classic page after two of the modern page's own.
inline constexpr std::string_view kHtmlStart = "<!DOCTYPE html>\r\n<html lang=\""sv;
inline constexpr std::string_view kHeadStart =
    "\"><head><meta charset=\"utf-8\">\r\n<meta name=\"viewport\" "
    "content=\"width=device-width, initial-scale=1\">\r\n<title>"sv;
// On a screen narrower than the page (a phone) every picture is shown whole, scaled down
// to the width there is, and the text keeps its size and its lines and scrolls sideways
// within its block: a line is a row of a text screen whose columns line up (boxes,
// tables, the pictures' rows), so wrapping would break it, and 80 columns scaled into
// 390 pixels would be letters under 5 pixels wide.
inline constexpr std::string_view kHeadTitleEnd =
    "</title>\r\n<style>\r\nimg{max-width:100%;height:auto}\r\npre{overflow-x:auto}\r\n"sv;
inline constexpr std::string_view kStyleDark =
    "body{background:black}\r\npre{color:#00cccc;font-weight:bold;font-size:"sv;
inline constexpr std::string_view kStyleLight = "body{background:white}\r\npre{font-size:"sv;
inline constexpr std::string_view kQuilloStyle =
    "body{background:black}\r\npre{color:#00cccc;font-size:"sv;
// The same look as the classic page: its rules, word for word.
static_assert(page::kHeaderDark.ends_with(kStyleDark));
static_assert(page::kHeaderLight.ends_with(kStyleLight));
static_assert(page::kQuilloHeaderFirst.ends_with(kQuilloStyle));

// Bytes that the classic page writes as entities or copies, and what they write here.
inline constexpr std::string_view kTilde = "~"sv;
inline constexpr std::string_view kCopyright = "\u00a9"sv;
inline constexpr std::string_view kAmpersand = "&amp;"sv;
inline constexpr std::string_view kQuote = "&quot;"sv;

// An image line: the picture's address, its number, its width shown.
inline constexpr std::string_view kImageStart = "<img src=\""sv;
inline constexpr std::string_view kImageAlt = "\" alt=\"picture "sv;
inline constexpr std::string_view kImageWidth = "\" width=\""sv;
inline constexpr std::string_view kImageEnd = "\" style=\"image-rendering: pixelated\">\r\n"sv;

// The modern page's text goes through two steps. First the classic page's fast walk
// writes it "staged": markup as it is, text bytes as they are, but the text's "<", ">"
// and 127 as the bytes below, which text never holds as they are (they are colour
// codes). Then each staged byte becomes what the page holds: UTF-8 from cp866, escapes
// for the text's "&" and double quote, and the DOS screen's symbols for control bytes.
inline constexpr char kStagedLess = 1;
inline constexpr char kStagedGreater = 2;
inline constexpr char kStagedCopyright = 3;

// What one text byte writes in the staged form; for the special bytes only.
std::string_view StagedText(uint8_t b);

// What each byte becomes in the modern page, as a text byte and as a staged byte.
class TUtf8Table {
  public:
    // Filled once, on first use, from the cp866 table (platform/CodePages.h).
    static const TUtf8Table& Get();

    // What one text byte (not a code or a line end) writes in the page.
    std::string_view Text(uint8_t b) const;

    // The n staged bytes at p as the page holds them; writes up to 7 bytes past what it
    // answers.
    uint8_t* Write(uint8_t* out, const char* p, size_t n) const {
        for (size_t i = 0; i < n; ++i) {
            const uint64_t e = staged_[static_cast<uint8_t>(p[i])];
            std::memcpy(out, &e, 8);
            out += Size(e);
        }
        return out;
    }
    // The same, 32 bytes at a time where they are all ASCII or Cyrillic letters (most
    // text): needs AVX2 (HasWideWrite); reads up to 31 bytes past the n and writes up to
    // 16 bytes past what it answers.
    uint8_t* WriteWide(uint8_t* out, const char* p, size_t n) const;
    static bool HasWideWrite();
    // With AVX-512 and its byte compress, for WriteLetters64Avx512 (Utf8Letters.h).
    static bool HasWideWrite512();
    // The most bytes one staged byte becomes.
    static constexpr size_t kLongestText = 7;

  private:
    TUtf8Table();
    // Up to seven bytes in the low bytes, their count in the top byte.
    static constexpr size_t Size(uint64_t entry) { return static_cast<size_t>(entry >> 56); }
    std::array<uint64_t, 256> text_{};    // by text byte
    std::array<uint64_t, 256> staged_{};  // by staged byte
};

}  // namespace quill::modern
