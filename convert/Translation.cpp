#include <array>

#include "convert/ByteScan.h"
#include "convert/ConversionRun.h"
#include "convert/PageLiterals.h"

namespace quill {

void TConversionRun::OpenSpan(uint8_t code) {
    SpanCode = code;
    WriteHtml(colourSpans_ ? page::ColourOpeners[code] : page::StyleOpeners[code]);
}

void TConversionRun::CloseSpan() {
    WriteHtml(colourSpans_ ? page::kColourCloser : page::StyleClosers[SpanCode]);
}

// Inlined into the line loop; TranslateByte is the same for single callers.
__attribute__((always_inline)) inline void TConversionRun::Translate(uint8_t b) {
    switch (b) {
        case 0:
        case 10:
            if (SpanOpen) CloseSpan();
            SpanOpen = false;
            break;
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
            if (SpanOpen) CloseSpan();
            WriteHtml(page::kCodeSpace);
            OpenSpan(b);
            SpanOpen = true;
            break;
        case 8:
            if (SpanOpen) CloseSpan();
            WriteHtml(page::kCodeSpace);
            SpanOpen = false;
            break;
        case 13:
            if (SpanOpen) CloseSpan();
            WriteHtml(page::kLineBreak);
            SpanOpen = false;
            break;
        case '<':
            WriteHtml(page::kLessThan);
            break;
        case '>':
            WriteHtml(page::kGreaterThan);
            break;
        case '~':
            WriteHtml(page::kTilde);
            break;
        case 127:
            WriteHtml(page::kCopyright);
            break;
        default:
            OutputFile.WriteByte(b);
            break;
    }
}

void TConversionRun::TranslateByte(uint8_t b) {
    Translate(b);
}

void TConversionRun::ApplyLineColour() {
    if (LineText.size() < 2) return;
    const uint8_t k = static_cast<uint8_t>(LineText[LineText.size() - 2]);
    if (k < 1 || k > 7) return;
    SpanOpen = true;
    OpenSpan(k);
    LineText[LineText.size() - 2] = 8;
}

// Every byte of a text line through TranslateByte, with the stretches of bytes that are
// copied as they are written in one piece: the same bytes in the same order. ReadLine
// has noted where the other bytes are; the line colour rule only turns one of them
// (a code 1 to 7) into another (8).
void TConversionRun::TranslateLine() {
    const char* p = LineText.data();
    size_t i = 0;
    for (const size_t at : specials_) {
        if (at > i) WriteHtml(std::string_view(p + i, at - i));
        Translate(static_cast<uint8_t>(p[at]));
        i = at + 1;
    }
    if (i < LineText.size()) WriteHtml(std::string_view(p + i, LineText.size() - i));
}

}  // namespace quill
