#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "convert/ModernPage.h"

namespace quill {

class TRecordFile;

namespace scan {
struct TKernels;
}

// The translation state, under the names the system gives it: whether a span (or a style
// tag) is open, and the code that opened it last.
struct TSpanState {
    bool SpanOpen = false;
    uint8_t SpanCode = 1;  // kept across lines; read only while SpanOpen
};

// The text lines of a document as markup of one page kind: the colour codes as spans or
// style tags, the line colour rule, the entities and line ends, and for the modern page
// UTF-8 from cp866. Whole read buffers of text lines go at once through tables made at
// construction, a block of 64 bytes at a time, with the same bytes as line by line.
class TLineTranslator {
  public:
    // page: where the markup goes, for the translator's whole life. colourSpans: spans on
    // a dark page rather than style tags; utf8: the modern page's text, or null for the
    // classic page's bytes; kernels: the searches' vector width.
    TLineTranslator(TRecordFile& page, bool colourSpans, const modern::TUtf8Table* utf8,
                    const scan::TKernels& kernels);

    // Every line starts with no span open; nothing is written.
    void StartLine() { spans_.SpanOpen = false; }
    // The line colour rule for line, as read and its terminator included: a code 1 to 7
    // just before its last byte opens that colour's span at once, and the code then counts
    // as 8 for the rest of the line. In the modern page a picture line opens nothing.
    void ApplyLineColour(std::string_view line);
    // Every byte of a text line, its terminator included, after ApplyLineColour. The line
    // is followed by at least TRecordFile::kReadSlack readable bytes.
    void TranslateLine(std::string_view line);
    // Whole text lines from the start of a read buffer, as StartLine, ApplyLineColour and
    // TranslateLine would write them one at a time; answers how many bytes they took (0:
    // none, when the buffer starts with a picture line or holds no whole line). Stops
    // before a picture line, after a line that ends with 0, and at the last line that
    // ends in the buffer. Only while no picture waits to be finished.
    size_t TranslateBufferedLines(std::string_view buffer);

    const TSpanState& Spans() const { return spans_; }
    // What closes the span (or style tags) still open after the last line, if any: a text
    // that ends without a terminator leaves it open.
    std::string_view OpenCloser() const;

  private:
    // What one special byte of a text line writes, by the span open before it: the span's
    // closer if the byte closes it, then the byte's own markup. A table of these lets the
    // line loop translate without a branch per byte; Text is copied whole, only Size
    // bytes of it count.
    struct TTransition {
        char Text[30] = {};
        uint8_t Size = 0;
        uint8_t Open = 0;  // the span open after it: its code 1-7, or 0
    };
    static_assert(sizeof(TTransition) == 32);
    static constexpr size_t kNoLineColour = static_cast<size_t>(-1);
    // The tables of one markup family and page kind, the same for every run: made once
    // and shared.
    struct TMarkup {
        TMarkup(bool colourSpans, const modern::TUtf8Table* utf8);
        static const TMarkup& For(bool colourSpans, const modern::TUtf8Table* utf8);
        // By the open span's code (0: none) and the special byte's class.
        std::array<std::array<TTransition, 16>, 8> Transitions{};
        // The modern page's, as the page holds them, by the open span's code and the byte
        // (256 a code): for its walk that writes the text 32 bytes at a time.
        std::vector<TTransition> Utf8Transitions;
        std::array<TTransition, 8> LineOpeners{};  // a line colour's opener by code; 0: none
    };

    void OpenSpan(uint8_t code);
    template <bool Modern>
    void TranslateText(const char* p, size_t n, size_t colourAt);
    template <bool Modern>
    size_t WalkLinesBody(const char* p, size_t n);
    size_t WalkLines(const char* p, size_t n);
    size_t WalkLinesAvx2(const char* p, size_t n);
    size_t WalkModernLines(const char* p, size_t n);
    size_t WalkModernLinesAvx2(const char* p, size_t n);
    template <auto WriteLetters>
    size_t WalkModernWideBody(const char* p, size_t n);
    size_t WalkModernLinesWide(const char* p, size_t n);
    size_t WalkModernLinesWide512(const char* p, size_t n);
    template <bool Modern>
    uint8_t* BeginBlock();
    template <bool Modern>
    void EndBlock(uint8_t* start, uint8_t* out);
    void FlushStaged();
    void ColourLine(const char* p, size_t n, size_t start, uint8_t*& out, uint8_t& open,
                    uint8_t& code, size_t& colourAt) const;
    uint8_t* WriteSpecial(uint8_t* out, const char* from, const char* at, uint8_t cls,
                          uint8_t& open, uint8_t& code) const;

    TRecordFile& page_;
    TSpanState spans_;
    const bool colourSpans_;
    const modern::TUtf8Table* const utf8_;
    const scan::TKernels& kernels_;
    const bool wideText_;  // the modern page's text 32 bytes at a time
    const TMarkup& markup_;
    // Copies of the small tables, where the walks reach them from this object itself: a
    // table behind a pointer would be loaded again after every byte the walk stores.
    std::array<std::array<TTransition, 16>, 8> transitions_;
    std::array<TTransition, 8> lineOpeners_;
    // The modern page's text before its last step (see ModernPage.h); flushed at the end
    // of every walk, so the page's bytes stay in order.
    static constexpr size_t kStagedFlush = 16384;
    std::vector<uint8_t> staged_;
    size_t stagedSize_ = 0;
    size_t lineColourAt_ = kNoLineColour;  // the byte that counts as 8, if any
    // The read buffer's classes, a bit a byte, 64 bytes a word: its special bytes, and the
    // line ends that a coloured line follows.
    std::vector<uint64_t> specials_;
    std::vector<uint64_t> colouredAfter_;
};

}  // namespace quill
