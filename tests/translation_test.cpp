#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/ConvertSupport.h"
#include "support/Cp866Text.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using test::Body;
using test::Convert;
using test::TempDir;
using test::TSettings;

const TSettings kColours{.colors = true};
const TSettings kStyles{.colors = false};
const TSettings kQuillo{.style = TPageStyle::Quillo};
const TSettings kQuilloColours{.colors = true, .style = TPageStyle::Quillo};
const TSettings kModern{.colors = true, .run = {.Html5 = true}};
const TSettings kModernStyles{.run = {.Html5 = true}};

std::string BodyOf(const std::string& document, const TSettings& settings) {
    TempDir dir;
    const auto out = Convert(dir, document, settings);
    EXPECT_EQ(out.error, "") << testing::PrintToString(document);
    return Body(out.page);
}

// Opener and closer of each code, written out per family so the tables are checked
// against the page's class rules, not against themselves.
struct CodeMarkup {
    const char* span;
    const char* open;
    const char* close;
};
const CodeMarkup kMarkup[8] = {
    {"", "", ""},
    {"<span class=b>", "<I><U>", "</U></I>"},
    {"<span class=r>", "<B><U>", "</U></B>"},
    {"<span class=m>", "<B><I><U>", "</U></I></B>"},
    {"<span class=g>", "<I>", "</I>"},
    {"<span class=c>", "<B><I>", "</I></B>"},
    {"<span class=y>", "<B>", "</B>"},
    {"<span class=w>", "<U>", "</U>"},
};

TEST(Translation, EveryCodeInEveryFamily) {
    for (int code = 1; code <= 7; ++code) {
        const CodeMarkup& m = kMarkup[code];
        const std::string line = std::string(1, static_cast<char>(code)) + "x\r";
        const std::string spanned = " "s + m.span + "x</span>\r\n";
        EXPECT_EQ(BodyOf(line, kColours), spanned) << code;
        EXPECT_EQ(BodyOf(line, kQuillo), spanned) << code;
        EXPECT_EQ(BodyOf(line, kQuilloColours), spanned) << code;
        EXPECT_EQ(BodyOf(line, kStyles), " "s + m.open + "x" + m.close + "\r\n") << code;
        // Line colour: the code just before the terminator colours the whole line.
        const std::string coloured = "ab" + std::string(1, static_cast<char>(code)) + "\r";
        EXPECT_EQ(BodyOf(coloured, kColours), m.span + "ab</span> \r\n"s) << code;
        EXPECT_EQ(BodyOf(coloured, kQuillo), m.span + "ab</span> \r\n"s) << code;
        EXPECT_EQ(BodyOf(coloured, kStyles), m.open + "ab"s + m.close + " \r\n") << code;
    }
}

TEST(Translation, TableRowsAndExamples) {
    struct Case {
        std::string line;
        std::string colours;  // with "use colors", and in the second program either way
        std::string styles;   // main program without "use colors"
    };
    const Case cases[] = {
        {"a<b>c~\x7f", "a&lt;b&gt;c&tilde;&copy;", "a&lt;b&gt;c&tilde;&copy;"},
        {"AT&T \"q\" '", "AT&T \"q\" '", "AT&T \"q\" '"},
        {"\x03Hello\r", " <span class=m>Hello</span>\r\n", " <B><I><U>Hello</U></I></B>\r\n"},
        {"Hello\x03\r", "<span class=m>Hello</span> \r\n", "<B><I><U>Hello</U></I></B> \r\n"},
        {"\x02"
         "ab\x06"
         "cd\r",
         " <span class=r>ab</span> <span class=y>cd</span>\r\n", " <B><U>ab</U></B> <B>cd</B>\r\n"},
        {"\x01x\x08y\r", " <span class=b>x</span> y\r\n", " <I><U>x</U></I> y\r\n"},
        {"\x08", " ", " "},
        {"a\x08\x08z\r", "a  z\r\n", "a  z\r\n"},
        {"\x01\r", "<span class=b></span> \r\n", "<I><U></U></I> \r\n"},
        {"\x04go\non\r", " <span class=g>go</span>on\r\n", " <I>go</I>on\r\n"},
        {"\x05"
         "ab\0"s,
         " <span class=c>ab</span>", " <B><I>ab</I></B>"},
        // A code just before a byte 0 is a line colour too.
        {"ab\x07\0"s, "<span class=w>ab</span> ", "<U>ab</U> "},
        // Line colour and a code inside the line: the 8 in its place closes whatever is open.
        {"\x06"
         "ab\x02\r",
         "<span class=r></span> <span class=y>ab</span> \r\n", "<B><U></U></B> <B>ab</B> \r\n"},
        // Without a terminator the last byte is no line colour: it opens a span.
        {"x\x01", "x <span class=b>", "x <I><U>"},
        // A span open at the end of the file is left open.
        {"\x01xy", " <span class=b>xy", " <I><U>xy"},
        {"\x01x", "<span class=b></span> x", "<I><U></U></I> x"},
        {"\x02"
         "a\r\x03"
         "b\r",
         " <span class=r>a</span>\r\n <span class=m>b</span>\r\n",
         " <B><U>a</U></B>\r\n <B><I><U>b</U></I></B>\r\n"},
        // A line of one byte is never coloured, however it ends.
        {"\x03", " <span class=m>", " <B><I><U>"},
        {"\t\x0b\x0c\x0e\x1f", "\t\x0b\x0c\x0e\x1f", "\t\x0b\x0c\x0e\x1f"},
        {"\x8f\xe0\xa8\xa2\xa5\xe2 \xff\xfe\x80", "\x8f\xe0\xa8\xa2\xa5\xe2 \xff\xfe\x80",
         "\x8f\xe0\xa8\xa2\xa5\xe2 \xff\xfe\x80"},
        {"\xff\x7f\r", "\xff&copy;\r\n", "\xff&copy;\r\n"},  // second byte < 128: text
    };
    for (const Case& c : cases) {
        const std::string name = testing::PrintToString(c.line);
        EXPECT_EQ(BodyOf(c.line, kColours), c.colours) << name;
        EXPECT_EQ(BodyOf(c.line, kQuillo), c.colours) << name;
        EXPECT_EQ(BodyOf(c.line, kStyles), c.styles) << name;
    }
}

TEST(Translation, EveryOtherByteIsCopiedUnchanged) {
    std::string plain;
    for (int b = 0; b < 256; ++b) {
        if (b <= 8 || b == 10 || b == 13 || b == '<' || b == '>' || b == '~' || b == 127) continue;
        plain.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(plain.size(), 256u - 15u);
    for (const TSettings& s : {kColours, kStyles, kQuillo}) EXPECT_EQ(BodyOf(plain, s), plain);
}

TEST(Translation, ModernPageText) {
    const std::string line = "\x8f\xe0\xa8\xa2\xa5\xe2 \xb0\xc4\xdb\xf0\xf1\xfc\xff";
    EXPECT_EQ(BodyOf(line, kModern), "Привет ░─█Ёё№\u00a0");
    EXPECT_EQ(BodyOf("Lit: &copy &lt;b&gt; R&D", kModern),
              "Lit: &amp;copy &amp;lt;b&amp;gt; R&amp;D");
    EXPECT_EQ(BodyOf("a<b>c~\x7f\"q\"", kModern), "a&lt;b&gt;c~©&quot;q&quot;");
    EXPECT_EQ(BodyOf("\t\x0b\x0c\x0e\x1b\x1f|", kModern), "\t♂♀♫←▼|");
    EXPECT_EQ(BodyOf("ab\x03\r\x02x\x08y", kModernStyles),
              "<B><I><U>ab</U></I></B> \r\n <B><U>x</U></B> y");
}

TEST(Translation, PicturesAndLineColours) {
    const std::string image = "<img src=\"1doc.png\" width=\"640\">\r\n";
    const std::string modernImage =
        "<img src=\"1doc.png\" alt=\"picture 1\" width=\"640\" style=\"image-rendering: "
        "pixelated\">\r\n";
    struct Case {
        std::string document;
        std::string colours;
        std::string styles;
        std::string modern;  // the modern page with colours: never leaves markup open
    };
    const Case cases[] = {
        // A coloured text line after a picture: its opener comes before the image line.
        {"\xff\x80\rtext\x02\r", "<span class=r>" + image + "text</span> \r\n",
         "<B><U>" + image + "text</U></B> \r\n",
         "<span class=r>" + modernImage + "text</span> \r\n"},
        // A line colour on a picture line writes its opener and nothing closes it; the
        // modern page writes nothing for it.
        {"\xff\x80\x03\rA\r", "<span class=m>" + image + "A\r\n", "<B><I><U>" + image + "A\r\n",
         modernImage + "A\r\n"},
        {"\x04"
         "a\r\xff\x80\r",
         " <span class=g>a</span>\r\n", " <I>a</I>\r\n", " <span class=g>a</span>\r\n"},
        // A span open at the end of the text: the modern page closes it before the footer.
        {"\x01xy", " <span class=b>xy", " <I><U>xy", " <span class=b>xy</span>"},
        {"a\r\xff\x80\x02\r\x03", "a\r\n<span class=r>" + image + " <span class=m>",
         "a\r\n<B><U>" + image + " <B><I><U>", "a\r\n" + modernImage + " <span class=m></span>"},
    };
    for (const Case& c : cases) {
        const std::string name = testing::PrintToString(c.document);
        EXPECT_EQ(BodyOf(c.document, kColours), c.colours) << name;
        EXPECT_EQ(BodyOf(c.document, kQuillo), c.colours) << name;
        EXPECT_EQ(BodyOf(c.document, kStyles), c.styles) << name;
        EXPECT_EQ(BodyOf(c.document, kModern), c.modern) << name;
    }
}

// The body of a document, line by line as the run reads it: the translation table, the
// line colour rule, image lines for finished runs of picture lines, and the end of the
// text part at the first 0. The reference for the translation of whole read buffers.
// What a DOS screen showed for the control bytes 11, 12 and 14 to 31.
const char* const kScreenSymbols[32] = {
    "",  "",  "",  "",  "",  "",  "",  "",  "",  "",  "",  "♂", "♀", "",  "♫", "☼",
    "►", "◄", "↕", "‼", "¶", "§", "▬", "↨", "↑", "↓", "→", "←", "∟", "↔", "▲", "▼",
};

// One text byte of the modern page: cp866 as the tests have it, escapes, the screen's
// symbols.
std::string ModernText(uint8_t b) {
    if (b == '<' || b == '>' || b == '&' || b == '"')
        return b == '<' ? "&lt;" : b == '>' ? "&gt;" : b == '&' ? "&amp;" : "&quot;";
    if (b == 127) return "©";
    if (b >= 128) return test::Cp866High()[b - 128];
    return b < 32 && b != 9 ? kScreenSymbols[b] : std::string(1, static_cast<char>(b));
}

std::string ReferenceBody(const std::string& document, bool colours, bool modern = false) {
    std::string out;
    bool open = false;
    int code = 1;
    auto close = [&] {
        if (open) out += colours ? "</span>" : kMarkup[code].close;
        open = false;
    };
    struct Run {
        int first = 0;
        int count = 0;
    };
    std::vector<Run> runs(2);  // runs[0] unused; the last is the one being collected
    size_t start = 0;
    while (start < document.size()) {
        size_t end = document.find_first_of(std::string("\r\0", 2), start);
        end = end == std::string::npos ? document.size() : end + 1;
        std::string line = document.substr(start, end - start);
        start = end;
        open = false;
        const size_t n = line.size();
        const bool picture =
            n >= 2 && static_cast<uint8_t>(line[0]) == 255 && static_cast<uint8_t>(line[1]) >= 128;
        if (n >= 2 && line[n - 2] >= 1 && line[n - 2] <= 7 && !(modern && picture)) {
            code = line[n - 2];
            out += colours ? kMarkup[code].span : kMarkup[code].open;
            open = true;
            line[n - 2] = 8;
        }
        const int row = picture ? static_cast<uint8_t>(line[1]) - 128 : 0;
        const Run last = runs.back();
        if (last.count != 0 && !(picture && row == last.first + last.count)) {
            size_t found = runs.size() - 1;
            for (size_t i = 1; i + 1 < runs.size(); ++i)
                if (runs[i].first == last.first && runs[i].count == last.count) found = i;
            if (found == runs.size() - 1)
                runs.emplace_back();
            else
                runs.back() = Run{};
            const std::string n = std::to_string(found);
            out += modern ? "<img src=\"" + n + "doc.png\" alt=\"picture " + n +
                                "\" width=\"640\" style=\"image-rendering: pixelated\">\r\n"
                          : "<img src=\"" + n + "doc.png\" width=\"640\">\r\n";
        }
        if (picture) {
            if (runs.back().count == 0) runs.back().first = row;
            ++runs.back().count;
            continue;
        }
        for (const char ch : line) {
            const uint8_t b = static_cast<uint8_t>(ch);
            if (b >= 1 && b <= 7) {
                close();
                code = b;
                out += " "s + (colours ? kMarkup[code].span : kMarkup[code].open);
                open = true;
            } else if (b == 0 || b == 8 || b == 10 || b == 13) {
                close();
                out += b == 8 ? " " : b == 13 ? "\r\n" : "";
            } else if (modern) {
                out += ModernText(b);
            } else if (b == '<' || b == '>' || b == '~' || b == 127) {
                out += b == '<' ? "&lt;" : b == '>' ? "&gt;" : b == '~' ? "&tilde;" : "&copy;";
            } else {
                out.push_back(ch);
            }
        }
        if (line.back() == '\0') break;
    }
    if (modern) close();
    return out;
}

// Random lines, short and long (several blocks, several read buffers), dense and sparse
// in special bytes, with line colours: the same body as the byte-by-byte reference.
TEST(Translation, AgreesWithTheByteByByteReference) {
    std::mt19937 gen(2024);
    const char specials[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, '<', '>', '~', 127};
    auto document = [&](size_t size, unsigned density) {
        std::string doc;
        while (doc.size() < size) {
            const unsigned kind = gen() % 16;
            const size_t length = kind == 0 ? gen() % 5000 : kind < 4 ? gen() % 4 : gen() % 200;
            for (size_t i = 0; i < length; ++i) {
                if (gen() % 100 < density)
                    doc.push_back(specials[gen() % sizeof specials]);
                else
                    doc.push_back(static_cast<char>(9 + gen() % 245));  // never 0 or 255
            }
            if (gen() % 4 == 0) doc.push_back(static_cast<char>(1 + gen() % 7));
            if (gen() % 20 != 0) doc.push_back('\r');
        }
        return doc;
    };
    for (int round = 0; round < 24; ++round) {
        const std::string doc =
            document(round == 0 ? (5u << 19) : 3000 + gen() % 20000, round % 3 == 0   ? 60
                                                                     : round % 3 == 1 ? 10
                                                                                      : 1);
        for (const bool colours : {true, false}) {
            const std::string body = BodyOf(doc, colours ? kColours : kStyles);
            EXPECT_TRUE(body == ReferenceBody(doc, colours)) << round << " " << colours;
        }
        const std::string modern = BodyOf(doc, kModern);
        EXPECT_TRUE(modern == ReferenceBody(doc, true, true)) << round << " modern";
        EXPECT_TRUE(BodyOf(doc, kModernStyles) == ReferenceBody(doc, false, true))
            << round << " modern styles";
    }
}

// Documents of text lines mixed with picture lines (runs that continue, break off and
// repeat), lines that only look like picture lines, long lines across read buffers, and
// a 0 that ends the text part followed by picture data: the same body as the reference,
// whichever vector width classes the read buffers.
TEST(Translation, TextBetweenPicturesAgreesWithTheReferenceAtEveryWidth) {
    std::mt19937 gen(1986);
    const std::string pool = "\x01\x02\x05\x07\x08\n<>~\x7f \r&\"\t\x1b\xf5\xff";
    auto textLine = [&](std::string& doc) {
        const size_t length = gen() % 8 == 0 ? gen() % 3000 : gen() % 120;
        for (size_t i = 0; i < length; ++i)
            doc.push_back(gen() % 6 == 0 ? pool[gen() % pool.size()]
                                         : static_cast<char>(0x80 + gen() % 0x70));
        if (gen() % 5 == 0) doc.push_back(static_cast<char>(1 + gen() % 7));
        doc.push_back('\r');
        if (gen() % 4 == 0) doc.push_back('\n');
    };
    auto pictureRun = [&](std::string& doc) {
        const int first = static_cast<int>(gen() % 8);
        const int count = 1 + static_cast<int>(gen() % 3);
        for (int r = first; r < first + count; ++r) {
            doc += "\xff";
            doc.push_back(static_cast<char>(128 + r));
            if (gen() % 3 == 0) doc.push_back(static_cast<char>(1 + gen() % 7));
            doc.push_back('\r');
        }
    };
    for (int round = 0; round < 12; ++round) {
        std::string doc;
        const size_t size = round % 4 == 0 ? 300000 + gen() % 100000 : 2000 + gen() % 30000;
        while (doc.size() < size) {
            const unsigned kind = gen() % 10;
            if (kind < 7) textLine(doc);
            if (kind == 7 || kind == 8) pictureRun(doc);
            if (kind == 9) doc += "\xff\x41 not a picture\r";
        }
        if (round % 2 == 0) {
            doc.push_back('\0');
            for (int i = 0; i < 600; ++i) doc.push_back(static_cast<char>(gen()));
        }
        for (const int family : {0, 1, 2}) {  // colours, styles, modern page with colours
            const std::string expected = ReferenceBody(doc, family != 1, family == 2);
            for (const TVectorWidth width : test::AllWidths()) {
                TSettings settings = family == 0 ? kColours : family == 1 ? kStyles : kModern;
                settings.run.Widest = width;
                EXPECT_TRUE(BodyOf(doc, settings) == expected)
                    << "round " << round << " family " << family << " width "
                    << static_cast<int>(width);
            }
        }
    }
}

TEST(Translation, SecondProgramDiffersOnlyInThePreRule) {
    const std::string document =
        "\x01one\r\x02two\x08three\rfour\x05\r<&>~\x7f\n\xa0\xa1\r\xff\x80\r\xff\x81\rend\0"s +
        std::string(288, '\x55');
    for (const bool pitch : {false, true}) {
        TempDir dir;
        const auto main = Convert(dir, document, {.colors = true, .pitch42 = pitch});
        const auto second = Convert(dir, document, {.pitch42 = pitch, .style = TPageStyle::Quillo});
        ASSERT_EQ(main.error, "");
        ASSERT_EQ(second.error, "");
        const std::string size = pitch ? "25" : "17";
        std::string expected = main.page;
        const std::string mainRule = "pre{color:#00cccc;font-weight:bold;font-size:" + size +
                                     "px;line-height:" + size + "px}";
        const std::string secondRule = "pre{color:#00cccc;font-size:" + size +
                                       "px;font-weight:bold;line-height:" + size + "px}";
        const size_t at = expected.find(mainRule);
        ASSERT_NE(at, std::string::npos);
        expected.replace(at, mainRule.size(), secondRule);
        EXPECT_EQ(second.page, expected);
        for (const char* tag : {"<B>", "<I>", "<U>"})
            EXPECT_EQ(second.page.find(tag), std::string::npos) << tag;
    }
}

}  // namespace
}  // namespace quill
