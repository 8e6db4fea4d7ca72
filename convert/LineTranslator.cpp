#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "convert/ByteScan.h"
#include "convert/LineRules.h"
#include "convert/LineTranslator.h"
#include "convert/ModernPage.h"
#include "convert/PageLiterals.h"
#include "convert/PageWriter.h"
#include "convert/Utf8Letters.h"
#include "platform/RecordFile.h"

namespace quill {

void TLineTranslator::OpenSpan(uint8_t code) {
    spans_.SpanCode = code;
    WriteHtml(page_, colourSpans_ ? page::ColourOpeners[code] : page::StyleOpeners[code]);
}

void TLineTranslator::ApplyLineColour(std::string_view line) {
    lineColourAt_ = kNoLineColour;
    if (line.size() < 2) return;
    const uint8_t k = static_cast<uint8_t>(line[line.size() - 2]);
    if (!lines::IsColourCode(k)) return;
    // A picture line's bytes are never translated, so nothing would close its colour: the
    // classic page opens it all the same and colours what follows, the modern page never
    // leaves markup open.
    if (utf8_ != nullptr &&
        lines::IsPictureLine(static_cast<uint8_t>(line[0]), static_cast<uint8_t>(line[1])))
        return;
    spans_.SpanOpen = true;
    OpenSpan(k);
    lineColourAt_ = line.size() - 2;
}

std::string_view TLineTranslator::OpenCloser() const {
    if (!spans_.SpanOpen) return {};
    return colourSpans_ ? page::kColourCloser : page::StyleClosers[spans_.SpanCode];
}

namespace {

// The longest piece of markup one special byte writes after a closer: " <span class=b>".
constexpr size_t kLongestMarkup = 15;
static_assert(page::kCodeSpace.size() + page::ColourOpeners[1].size() <= kLongestMarkup);
static_assert(page::kCodeSpace.size() + page::StyleOpeners[3].size() <= kLongestMarkup);
static_assert(page::StyleClosers[3].size() <= kLongestMarkup);
static_assert(page::kTilde.size() <= kLongestMarkup);

// Room in the page's buffer for one block of 64 bytes: each byte special, with the
// longest closer and markup and, at a line end, the next line's colour opener; one more
// opener for the first line; one 64-byte copy past the end.
constexpr size_t kBlockRoom = 64 * (3 * kLongestMarkup + 1) + kLongestMarkup + 64;

// Each special byte's row in the transition table; the rest are never looked up.
constexpr std::array<uint8_t, 256> kSpecialClass = [] {
    std::array<uint8_t, 256> c{};
    for (int b = 0; b <= 8; ++b) c[b] = static_cast<uint8_t>(b);
    c[10] = 9;
    c[13] = 10;
    c['<'] = 11;
    c['>'] = 12;
    c['~'] = 13;
    c[127] = 14;
    return c;
}();
constexpr uint8_t kCode8Class = 8;

// Copies of a fixed size: callers use the first few bytes and overwrite the rest. Through
// a vector value rather than a plain memcpy, so that code built for AVX2 moves 32 bytes
// at a time (the compiler's own memcpy moves at most 16).
using TBytes32 = char __attribute__((vector_size(32)));

inline void Copy32(uint8_t* to, const void* from) {
    TBytes32 bytes;
    std::memcpy(&bytes, from, sizeof bytes);
    std::memcpy(to, &bytes, sizeof bytes);
}

inline void Copy64(uint8_t* to, const char* from) {
    Copy32(to, from);
    Copy32(to + 32, from + 32);
}

// p[1] is readable.
inline bool IsPictureLineAt(const char* p) {
    return lines::IsPictureLine(static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1]));
}

}  // namespace

TLineTranslator::TLineTranslator(TRecordFile& page, bool colourSpans,
                                 const modern::TUtf8Table* utf8, const scan::TKernels& kernels)
    : page_(page),
      colourSpans_(colourSpans),
      utf8_(utf8),
      kernels_(kernels),
      wideText_(kernels.Avx2Walk && modern::TUtf8Table::HasWideWrite()),
      markup_(TMarkup::For(colourSpans, utf8)),
      transitions_(markup_.Transitions),
      lineOpeners_(markup_.LineOpeners),
      // A last block may begin just below the flush mark.
      staged_(utf8 != nullptr ? kStagedFlush + kBlockRoom : 0, 0) {}

const TLineTranslator::TMarkup& TLineTranslator::TMarkup::For(bool colourSpans,
                                                              const modern::TUtf8Table* utf8) {
    if (utf8 != nullptr) {
        static const TMarkup modernSpans(true, utf8), modernTags(false, utf8);
        return colourSpans ? modernSpans : modernTags;
    }
    static const TMarkup spans(true, nullptr), tags(false, nullptr);
    return colourSpans ? spans : tags;
}

TLineTranslator::TMarkup::TMarkup(bool colourSpans, const modern::TUtf8Table* utf8) {
    auto text = [](TTransition& t, std::string_view piece) {
        std::copy(piece.begin(), piece.end(), t.Text + t.Size);
        t.Size = static_cast<uint8_t>(t.Size + piece.size());
    };
    auto opener = [&](uint8_t code) {
        return colourSpans ? page::ColourOpeners[code] : page::StyleOpeners[code];
    };
    for (uint8_t open = 0; open < 8; ++open) {
        for (int b = 0; b < 256; ++b) {
            if (!scan::IsSpecial(static_cast<uint8_t>(b))) continue;
            TTransition& t = Transitions[open][kSpecialClass[b]];
            t = TTransition{};
            t.Open = open;
            const bool closes = b <= 8 || b == 10 || b == 13;
            if (closes && open != 0) {
                text(t, colourSpans ? page::kColourCloser : page::StyleClosers[open]);
                t.Open = 0;
            }
            if (b >= 1 && b <= 7) {
                text(t, page::kCodeSpace);
                text(t, opener(static_cast<uint8_t>(b)));
                t.Open = static_cast<uint8_t>(b);
            }
            if (b == 8) text(t, page::kCodeSpace);
            if (b == 13) text(t, page::kLineBreak);
            if (utf8 != nullptr && !closes) {
                text(t, modern::StagedText(static_cast<uint8_t>(b)));
                continue;
            }
            if (b == '<') text(t, page::kLessThan);
            if (b == '>') text(t, page::kGreaterThan);
            if (b == '~') text(t, page::kTilde);
            if (b == 127) text(t, page::kCopyright);
        }
        LineOpeners[open] = TTransition{};
        if (open != 0) text(LineOpeners[open], opener(open));
        LineOpeners[open].Open = open;
    }
    if (utf8 == nullptr) return;
    // The modern page's table as the page holds it: the staged markup and text bytes
    // through the same last step as the staged page, so both write the same bytes.
    Utf8Transitions.assign(8 * 256, TTransition{});
    for (uint8_t open = 0; open < 8; ++open) {
        for (int b = 0; b < 256; ++b) {
            const uint8_t byte = static_cast<uint8_t>(b);
            TTransition staged{.Text = {static_cast<char>(byte)}, .Size = 1, .Open = open};
            if (scan::IsSpecial(byte)) staged = Transitions[open][kSpecialClass[byte]];
            uint8_t written[sizeof staged.Text * modern::TUtf8Table::kLongestText + 8];
            const size_t size =
                static_cast<size_t>(utf8->Write(written, staged.Text, staged.Size) - written);
            if (size > sizeof staged.Text) throw std::logic_error("markup too long for its table");
            TTransition& t = Utf8Transitions[open * 256u + byte];
            std::copy(written, written + size, t.Text);
            t.Size = static_cast<uint8_t>(size);
            t.Open = staged.Open;
        }
    }
}

// Where the walks write a block's output: straight into the page's buffer, or for the
// modern page into the staging buffer, which goes to the page in bigger pieces.
template <bool Modern>
inline uint8_t* TLineTranslator::BeginBlock() {
    if constexpr (Modern) {
        return staged_.data() + stagedSize_;
    } else {
        return page_.Reserve(kBlockRoom);
    }
}

template <bool Modern>
inline void TLineTranslator::EndBlock(uint8_t* start, uint8_t* out) {
    if constexpr (Modern) {
        stagedSize_ += static_cast<size_t>(out - start);
        if (stagedSize_ >= kStagedFlush) FlushStaged();
    } else {
        page_.Advance(static_cast<size_t>(out - start));
    }
}

void TLineTranslator::FlushStaged() {
    // Pieces small enough for the room the page's buffer gives at once.
    constexpr size_t kPiece = 8192;
    static_assert(kPiece * modern::TUtf8Table::kLongestText + 64 <= TRecordFile::kFirstBufferSize);
    const char* p = reinterpret_cast<const char*>(staged_.data());
    for (size_t done = 0; done < stagedSize_; done += kPiece) {
        const size_t n = std::min(kPiece, stagedSize_ - done);
        uint8_t* const start = page_.Reserve(n * modern::TUtf8Table::kLongestText + 64);
        uint8_t* const out =
            wideText_ ? utf8_->WriteWide(start, p + done, n) : utf8_->Write(start, p + done, n);
        page_.Advance(static_cast<size_t>(out - start));
    }
    stagedSize_ = 0;
}

// The bytes from `from` up to the special byte at `at` (fewer than 64), then what the
// byte of class cls writes with the span open before it; updates the open span and the
// last code opened.
inline uint8_t* TLineTranslator::WriteSpecial(uint8_t* out, const char* from, const char* at,
                                              uint8_t cls, uint8_t& open, uint8_t& code) const {
    Copy64(out, from);
    out += at - from;
    const TTransition& t = transitions_[open][cls];
    Copy32(out, &t);
    out += t.Size;
    open = t.Open;
    code = open != 0 ? open : code;
    return out;
}

void TLineTranslator::TranslateLine(std::string_view line) {
    if (utf8_ != nullptr)
        TranslateText<true>(line.data(), line.size(), lineColourAt_);
    else
        TranslateText<false>(line.data(), line.size(), lineColourAt_);
}

// The n bytes at p, as the byte-by-byte rules write them, the byte at colourAt
// taken as 8, straight into the page's buffer. Block by block of 64 bytes: the special
// bytes of a block are found at once, the stretches between them copied a whole block
// at a time (what is copied past a stretch is overwritten by what follows), and each
// special byte writes what the transition table gives for it and the open span, without
// a branch on which byte it is. p is followed by at least TRecordFile::kReadSlack
// readable bytes.
template <bool Modern>
void TLineTranslator::TranslateText(const char* p, size_t n, size_t colourAt) {
    static_assert(TRecordFile::kReadSlack >= 64);
    uint8_t open = spans_.SpanOpen ? spans_.SpanCode : 0;  // the code of the open span; 0: none
    uint8_t code = spans_.SpanCode;
    for (size_t block = 0; block < n; block += 64) {
        const size_t size = std::min<size_t>(64, n - block);
        uint64_t bits = scan::SpecialBits64(p + block);
        if (size < 64) bits &= (uint64_t{1} << size) - 1;
        uint8_t* const start = BeginBlock<Modern>();
        uint8_t* out = start;
        const char* from = p + block;  // the first byte not yet written
        while (bits != 0) {
            const size_t at = block + static_cast<size_t>(__builtin_ctzll(bits));
            bits &= bits - 1;
            const uint8_t cls =
                at == colourAt ? kCode8Class : kSpecialClass[static_cast<uint8_t>(p[at])];
            out = WriteSpecial(out, from, p + at, cls, open, code);
            from = p + at + 1;
        }
        Copy64(out, from);
        out += p + block + size - from;
        EndBlock<Modern>(start, out);
    }
    spans_.SpanOpen = open != 0;
    spans_.SpanCode = code;
    if constexpr (Modern) FlushStaged();
}

// Whole text lines straight from the read buffer: one pass over the buffer's bytes to
// class them and one walk over its special bytes.
size_t TLineTranslator::TranslateBufferedLines(std::string_view buffer) {
    const char* const p = buffer.data();
    const size_t n = scan::FindLastLineEnd(p, buffer.size());
    if (n == 0 || IsPictureLineAt(p)) return 0;
    const size_t words = (n + 63) / 64;
    if (specials_.size() < words) {
        specials_.resize(words);
        colouredAfter_.resize(words);
    }
    const size_t end = kernels_.ClassifyBlocks(p, n, specials_.data(), colouredAfter_.data());
    if (utf8_ != nullptr && wideText_)
        return kernels_.Width == TVectorWidth::Avx512 && modern::TUtf8Table::HasWideWrite512()
                   ? WalkModernLinesWide512(p, end)
                   : WalkModernLinesWide(p, end);
    if (utf8_ != nullptr)
        return kernels_.Avx2Walk ? WalkModernLinesAvx2(p, end) : WalkModernLines(p, end);
    return kernels_.Avx2Walk ? WalkLinesAvx2(p, end) : WalkLines(p, end);
}

// Opens the line colour of the line that starts at start of the n bytes at p, if it has
// one: its opener goes to out, and its code byte then counts as 8.
__attribute__((always_inline)) inline void TLineTranslator::ColourLine(const char* p, size_t n,
                                                                       size_t start, uint8_t*& out,
                                                                       uint8_t& open, uint8_t& code,
                                                                       size_t& colourAt) const {
    const size_t end = start + scan::FindLineEnd(p + start, n - start);
    const uint8_t k = end > start ? static_cast<uint8_t>(p[end - 1]) : 0;
    if (!lines::IsColourCode(k)) return;
    Copy32(out, &lineOpeners_[k]);
    out += lineOpeners_[k].Size;
    open = code = k;
    colourAt = end - 1;
}

// The walk over the n classed bytes: answers where it stopped (n). Written once, compiled
// for both kinds of processor.
template <bool Modern>
__attribute__((always_inline)) inline size_t TLineTranslator::WalkLinesBody(const char* p,
                                                                            size_t n) {
    uint8_t open = 0;
    uint8_t code = spans_.SpanCode;
    size_t colourAt = kNoLineColour;
    // The opener of a line with a line colour; its code byte then counts as 8.
    const auto colourLine = [&](size_t start, uint8_t*& out) {
        ColourLine(p, n, start, out, open, code, colourAt);
    };

    size_t pos = 0;  // the first byte not yet written
    const size_t words = (n + 63) / 64;
    for (size_t w = 0; w < words; ++w) {
        uint8_t* const start = BeginBlock<Modern>();
        uint8_t* out = start;
        if (w == 0) colourLine(0, out);
        uint64_t bits = specials_[w];
        const uint64_t coloured = colouredAfter_[w];
        while (bits != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctzll(bits));
            const size_t at = w * 64 + bit;
            bits &= bits - 1;
            const uint8_t byte = static_cast<uint8_t>(p[at]);
            const uint8_t cls = at == colourAt ? kCode8Class : kSpecialClass[byte];
            out = WriteSpecial(out, p + pos, p + at, cls, open, code);
            pos = at + 1;
            if ((coloured >> bit & 1) != 0) colourLine(pos, out);
        }
        const size_t end = std::min(n, 64 * (w + 1));
        Copy64(out, p + pos);
        out += end - pos;
        pos = end;
        EndBlock<Modern>(start, out);
    }
    spans_.SpanOpen = open != 0;
    spans_.SpanCode = code;
    if constexpr (Modern) FlushStaged();
    return pos;
}

size_t TLineTranslator::WalkLines(const char* p, size_t n) {
    return WalkLinesBody<false>(p, n);
}

size_t TLineTranslator::WalkModernLines(const char* p, size_t n) {
    return WalkLinesBody<true>(p, n);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) size_t TLineTranslator::WalkLinesAvx2(const char* p, size_t n) {
    return WalkLinesBody<false>(p, n);
}

__attribute__((target("avx2"))) size_t TLineTranslator::WalkModernLinesAvx2(const char* p,
                                                                            size_t n) {
    return WalkLinesBody<true>(p, n);
}

// The modern page's walk without the staged step: each block's text is written as UTF-8
// at once, as if it were all ASCII and Cyrillic letters; the stretches between the special
// bytes, and the other bytes (which go through the table as the special ones do), are
// then taken from that. No branch on what a text byte is, and no second pass over the
// page.
template <auto WriteLetters>
__attribute__((always_inline)) inline size_t TLineTranslator::WalkModernWideBody(const char* p,
                                                                                 size_t n) {
    // Room for a block as the classic walk needs it, and for copies of 128 bytes.
    constexpr size_t kRoom = kBlockRoom + 128;
    static_assert(kRoom <= TRecordFile::kFirstBufferSize);
    const auto copy128 = [](uint8_t* to, const uint8_t* from) {
        Copy64(to, reinterpret_cast<const char*>(from));
        Copy64(to + 64, reinterpret_cast<const char*>(from + 64));
    };
    uint8_t open = 0;
    uint8_t code = spans_.SpanCode;
    size_t colourAt = kNoLineColour;
    const auto colourLine = [&](size_t start, uint8_t*& out) {
        ColourLine(p, n, start, out, open, code, colourAt);
    };
    // A block's text as UTF-8, and the 128 bytes after it that a copy may read. Written a
    // block ahead: read back at once, the copies would wait for the stores before them
    // (they cannot take their bytes from stores of other sizes and places).
    alignas(64) uint8_t texts[2][256] = {};
    const size_t words = (n + 63) / 64;
    // Held here: the page's bytes may alias the members as far as the compiler knows.
    const TTransition* const table = markup_.Utf8Transitions.data();
    const uint64_t* const specials = specials_.data();
    const uint64_t* const colouredAfter = colouredAfter_.data();
    modern::TLetters next{};
    if (words != 0) next = WriteLetters(texts[0], p);
    for (size_t w = 0; w < words; ++w) {
        uint8_t* const start = page_.Reserve(kRoom);
        uint8_t* out = start;
        if (w == 0) colourLine(0, out);
        const char* const block = p + 64 * w;
        const size_t size = std::min<size_t>(64, n - 64 * w);
        const uint64_t inside = size == 64 ? ~uint64_t{0} : (uint64_t{1} << size) - 1;
        const modern::TLetters letters = next;
        const uint8_t* const text = texts[w & 1];
        if (w + 1 < words) next = WriteLetters(texts[(w + 1) & 1], block + 64);
        const uint64_t two = letters.twoBytes;
        uint64_t bits = specials[w] | (letters.others & inside);
        const uint64_t coloured = colouredAfter[w];
        size_t from = 0;  // where the first byte not yet written is in text
        while (bits != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctzll(bits));
            bits &= bits - 1;
            const uint64_t below = (uint64_t{1} << bit) - 1;
            const size_t at = bit + static_cast<size_t>(__builtin_popcountll(two & below));
            copy128(out, text + from);
            out += at - from;
            from = at + 1 + (two >> bit & 1);
            const uint8_t byte =
                64 * w + bit == colourAt ? kCode8Class : static_cast<uint8_t>(block[bit]);
            const TTransition& t = table[open * 256u + byte];
            Copy32(out, &t);
            out += t.Size;
            open = t.Open;
            code = open != 0 ? open : code;
            if ((coloured >> bit & 1) != 0) colourLine(64 * w + bit + 1, out);
        }
        const size_t end = size + static_cast<size_t>(__builtin_popcountll(two & inside));
        copy128(out, text + from);
        out += end - from;
        page_.Advance(static_cast<size_t>(out - start));
    }
    spans_.SpanOpen = open != 0;
    spans_.SpanCode = code;
    return n;
}

__attribute__((target("avx2,popcnt"))) size_t TLineTranslator::WalkModernLinesWide(const char* p,
                                                                                   size_t n) {
    return WalkModernWideBody<modern::WriteLetters64Avx2>(p, n);
}

__attribute__((target("avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt"))) size_t
TLineTranslator::WalkModernLinesWide512(const char* p, size_t n) {
    return WalkModernWideBody<modern::WriteLetters64Avx512>(p, n);
}
#else
size_t TLineTranslator::WalkModernLinesWide(const char* p, size_t n) {
    return WalkLinesBody<true>(p, n);
}

size_t TLineTranslator::WalkModernLinesWide512(const char* p, size_t n) {
    return WalkLinesBody<true>(p, n);
}

size_t TLineTranslator::WalkLinesAvx2(const char* p, size_t n) {
    return WalkLinesBody<false>(p, n);
}

size_t TLineTranslator::WalkModernLinesAvx2(const char* p, size_t n) {
    return WalkLinesBody<true>(p, n);
}
#endif

}  // namespace quill
