#include "convert/ModernPage.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "convert/Utf8Letters.h"
#include "platform/CodePages.h"
#include "platform/Exception.h"
#include "platform/ProcessorFeatures.h"

namespace quill::modern {

namespace {

// What a DOS screen showed for the control bytes 0-31: the HTML text may not hold them,
// and the documents were written looking at these.
constexpr std::array<char32_t, 32> kScreenSymbols = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};

uint64_t Pack(std::string_view text) {
    uint64_t e = 0;
    std::memcpy(&e, text.data(), text.size());
    return e | static_cast<uint64_t>(text.size()) << 56;
}

}  // namespace

std::string_view StagedText(uint8_t b) {
    static constexpr char kLess[] = {kStagedLess};
    static constexpr char kGreater[] = {kStagedGreater};
    static constexpr char kCopy[] = {kStagedCopyright};
    switch (b) {
        case '<':
            return {kLess, 1};
        case '>':
            return {kGreater, 1};
        case 127:
            return {kCopy, 1};
        case '~':
            return kTilde;
        default:
            return {};
    }
}

TUtf8Table::TUtf8Table() {
    for (int b = 128; b < 256; ++b)
        text_[static_cast<size_t>(b)] =
            Pack(codepage::Utf8(codepage::Cp866(static_cast<uint8_t>(b))));
    for (int b = 32; b < 127; ++b) text_[static_cast<size_t>(b)] = Pack(std::string(1, b));
    for (int b = 11; b < 32; ++b)
        text_[static_cast<size_t>(b)] = Pack(codepage::Utf8(kScreenSymbols[b]));
    text_['\t'] = Pack("\t");
    for (const int b : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 13}) text_[static_cast<size_t>(b)] = 0;
    text_['&'] = Pack(kAmpersand);
    text_['"'] = Pack(kQuote);
    text_['<'] = Pack(page::kLessThan);
    text_['>'] = Pack(page::kGreaterThan);
    text_['~'] = Pack(kTilde);
    text_[127] = Pack(kCopyright);

    // Staged: the markup's bytes stay as they are.
    staged_ = text_;
    for (const char c : {'<', '>', '\r', '\n'}) staged_[static_cast<uint8_t>(c)] = Pack({&c, 1});
    staged_[kStagedLess] = text_['<'];
    staged_[kStagedGreater] = text_['>'];
    staged_[kStagedCopyright] = text_[127];
}

std::string_view TUtf8Table::Text(uint8_t b) const {
    return std::string_view(reinterpret_cast<const char*>(&text_[b]), Size(text_[b]));
}

const TUtf8Table& TUtf8Table::Get() {
    static const TUtf8Table table;
    return table;
}

#if defined(__x86_64__) || defined(__i386__)

bool TUtf8Table::HasWideWrite() {
    const TProcessorFeatures& f = ProcessorFeatures();
    return f.Width >= TVectorWidth::Avx2 && f.Popcnt;
}

// Cyrillic letters of cp866, the bulk of a document's text, are two bytes in UTF-8 with
// a fixed lead: 0x80-0xAF are D0 90-BF, 0xE0-0xEF are D1 80-8F. Sixteen bytes of such
// letters and plain ASCII are written at once: lead and trail of each byte side by side,
// then the trail dropped where there is none. Anything else goes through the table.
// (Bytes 0x80 and above that reach the vector path are letters, ASCII ones are kept.)
__attribute__((target("avx2,popcnt"))) uint8_t* TUtf8Table::WriteWide(uint8_t* out, const char* p,
                                                                      size_t n) const {
    // (A staged byte is never 127.)
    const char* const end = p + n;
    while (p < end) {
        size_t count = std::min<size_t>(static_cast<size_t>(end - p), 32);
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const uint64_t oddHere = OtherBytes32(v) & ((uint64_t{1} << count) - 1);
        if (oddHere != 0) {
            // The plain bytes before it as below, the odd byte itself through the table.
            count = static_cast<size_t>(__builtin_ctzll(oddHere));
            if (count == 0) {
                out = Write(out, p, 1);
                ++p;
                continue;
            }
        }
        __m256i low, hi;
        const unsigned twoBytes =
            LetterPairs32(v, low, hi) & static_cast<unsigned>((uint64_t{1} << count) - 1);
        const auto used = [&](size_t from) {
            return std::min<size_t>(std::max(count, from) - from, 8);
        };
        out = PutPairs(out, _mm256_castsi256_si128(low), twoBytes & 0xFF, used(0));
        out = PutPairs(out, _mm256_castsi256_si128(hi), twoBytes >> 8 & 0xFF, used(8));
        out = PutPairs(out, _mm256_extracti128_si256(low, 1), twoBytes >> 16 & 0xFF, used(16));
        out = PutPairs(out, _mm256_extracti128_si256(hi, 1), twoBytes >> 24, used(24));
        p += count;
    }
    return out;
}

bool TUtf8Table::HasWideWrite512() {
    const TProcessorFeatures& f = ProcessorFeatures();
    return f.Width == TVectorWidth::Avx512 && f.Avx512Vbmi2 && f.Popcnt;
}

#else

bool TUtf8Table::HasWideWrite() {
    return false;
}

bool TUtf8Table::HasWideWrite512() {
    return false;
}

uint8_t* TUtf8Table::WriteWide(uint8_t* out, const char* p, size_t n) const {
    return Write(out, p, n);
}

#endif

}  // namespace quill::modern
