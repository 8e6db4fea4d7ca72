// File names come from whoever made an archive: through every page kind, a hostile name
// must give the same elements and attributes as a plain one, and every address must lead
// to its file. The pages are read by a tag reader that follows the HTML tokenizer, not by
// anything of the code under test.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "archive/ArchiveCall.h"
#include "convert/MarkupNames.h"
#include "support/ConvertSupport.h"

namespace quill {
namespace {

using std::string_literals::operator""s;
using test::TempDir;

struct TTag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // values entity-decoded
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string EntityDecoded(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const size_t semi = s.find(';', i);
        const std::string entity = s[i] == '&' && semi != std::string::npos
                                       ? s.substr(i + 1, semi - i - 1)
                                       : std::string();
        const std::string decoded = entity == "amp"    ? "&"
                                    : entity == "quot" ? "\""
                                    : entity == "lt"   ? "<"
                                    : entity == "gt"   ? ">"
                                                       : "";
        if (decoded.empty()) {
            out += s[i];
        } else {
            out += decoded;
            i = semi;
        }
    }
    return out;
}

// Start tags as a browser's tokenizer finds them: text, comments and the raw text of
// title, style and script hold none.
std::vector<TTag> Tags(const std::string& html) {
    std::vector<TTag> tags;
    size_t i = 0;
    const auto space = [&](size_t at) {
        return at < html.size() && std::strchr(" \t\n\f\r", html[at]) != nullptr;
    };
    while ((i = html.find('<', i)) != std::string::npos) {
        ++i;
        if (i < html.size() && html[i] == '!') {
            i = html.find('>', i);
            continue;
        }
        if (i >= html.size() || !std::isalpha(static_cast<unsigned char>(html[i]))) continue;
        TTag tag;
        while (i < html.size() && !space(i) && html[i] != '/' && html[i] != '>')
            tag.name += html[i++];
        tag.name = Lower(tag.name);
        while (i < html.size() && html[i] != '>') {
            if (space(i) || html[i] == '/') {
                ++i;
                continue;
            }
            std::string name, value;
            while (i < html.size() && !space(i) && html[i] != '/' && html[i] != '>' &&
                   (html[i] != '=' || name.empty()))
                name += html[i++];
            while (space(i)) ++i;
            if (i < html.size() && html[i] == '=') {
                ++i;
                while (space(i)) ++i;
                if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                    const size_t end = html.find(html[i], i + 1);
                    value = html.substr(i + 1, end - i - 1);
                    i = end + 1;
                } else {
                    while (i < html.size() && !space(i) && html[i] != '>') value += html[i++];
                }
            }
            tag.attributes.emplace_back(Lower(name), EntityDecoded(value));
        }
        if (tag.name == "title" || tag.name == "style" || tag.name == "script") {
            i = Lower(html).find("</" + tag.name, i);
            if (i == std::string::npos) i = html.size();
        }
        tags.push_back(tag);
    }
    return tags;
}

// What the tags and their attributes are, without the values.
std::vector<std::string> Skeleton(const std::vector<TTag>& tags) {
    std::vector<std::string> out;
    for (const TTag& t : tags) {
        std::string line = t.name;
        for (const auto& [name, value] : t.attributes) line += " " + name;
        out.push_back(line);
    }
    return out;
}

// Every src and href of the page at path names a file beside or below it, as a browser
// reads the address: no scheme, fragment or query, none of the bytes a browser drops.
void ExpectAddressesResolve(const std::string& path, const std::string& what) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::string html = test::ToString(test::ReadFileBytes(path));
    for (const TTag& t : Tags(html))
        for (const auto& [name, value] : t.attributes) {
            if (name != "src" && name != "href") continue;
            if (value.starts_with("data:image/")) continue;
            EXPECT_FALSE(std::regex_search(value, std::regex("^[A-Za-z][A-Za-z0-9+.-]*:")))
                << what << ": " << value;
            EXPECT_EQ(value.find_first_of("#?\t\n\r"), std::string::npos) << what << ": " << value;
            EXPECT_TRUE(std::filesystem::exists(folder / names::PercentDecoded(value)))
                << what << ": " << path << " -> " << value;
        }
}

// One picture, under a 17-byte header.
std::string Document() {
    return std::string(17, 'h') + "\xff\x80\rT\r" + "\0"s + std::string(288, '\x5a');
}

TEST(MarkupNames, HostileNamesAddNoElementOrAttributeAndFindTheirFiles) {
    const std::string hostile[] = {
        "\"",
        "'",
        "<",
        ">",
        "&",
        "%",
        "%22",
        " ",
        "\t",
        "\n",
        "#",
        "?",
        ":",
        "\"onerror=\"alert(1)",
        "&amp",
        "<img src=x>",
        "\x80\xa0\xff",
        "обзор",
        "\xed\xa0\x80",
        "javascript:x",
    };
    struct Case {
        const char* what;
        bool html5;
        bool embed;
    };
    const Case kinds[] = {
        {"classic", false, false}, {"modern", true, false}, {"modern embedded", true, true}};
    for (const Case& kind : kinds) {
        TempDir plainDir;
        const std::string plainPage = plainDir.File("aplainb.htm");
        test::WriteFileBytes(plainDir.File("aplainb.$w"), test::ToBytes(Document()));
        test::TSettings settings;
        settings.run.Html5 = kind.html5;
        settings.run.Embed = kind.embed;
        ASSERT_EQ(test::ConvertFile(plainDir.File("aplainb.$w"), plainPage, settings).error, "");
        const auto want = Skeleton(Tags(test::ToString(test::ReadFileBytes(plainPage))));
        for (const std::string& name : hostile) {
#ifdef _WIN32
            // Names Windows does not allow, or that are no UTF-8, cannot be files there.
            if (name.find_first_of("\"<>\t\n?:\x80\xed") != std::string::npos) continue;
#endif
            const std::string what = kind.what + " \""s + name + "\"";
            TempDir dir;
            const std::string page = dir.File("a" + name + "b.htm");
            test::WriteFileBytes(dir.File("a" + name + "b.$w"), test::ToBytes(Document()));
            ASSERT_EQ(test::ConvertFile(dir.File("a" + name + "b.$w"), page, settings).error, "")
                << what;
            EXPECT_EQ(Skeleton(Tags(test::ToString(test::ReadFileBytes(page)))), want) << what;
            ExpectAddressesResolve(page, what);
        }
    }

    // An address decodes to the name it was made of; a "%" without two hex digits stays.
    for (const std::string& name : hostile)
        EXPECT_EQ(names::PercentDecoded(names::AddressOf(name)), name);
    EXPECT_EQ(names::PercentDecoded("%zz%4%41%e0"), "%zz%4A\xe0");

    // An archive with a hostile folder and document name: its index pages are those of a
    // plain name, tag for tag.
    std::vector<std::string> plainIndexes[2];
#ifdef _WIN32
    // (What Windows allows in a name.)
    const std::string names[] = {"plain"s, "'onerror='x"s, "javascript;alert(1)"s,
                                 "a&amp;#%22 ' ;"s};
#else
    const std::string names[] = {"plain"s, "\"onerror=\"x"s, "javascript:alert(1)"s,
                                 "a<b>&amp;#?%22 \t\n\x80"s};
#endif
    for (const std::string& name : names) {
        TempDir dir;
        std::filesystem::create_directories(dir.File("in/" + name));
        test::WriteFileBytes(dir.File("in/" + name + "/" + name + ".$w"),
                             test::ToBytes(Document()));
        TCallSettings call;
        call.inputs = {dir.File("in")};
        call.dir = dir.File("site");
        call.quiet = true;
        call.jobs = 1;
        ASSERT_EQ(RunCall(call), 0) << name;
        const std::string indexes[2] = {"site/index.htm", "site/" + name + "/index.htm"};
        for (int i = 0; i < 2; ++i) {
            const std::string html = test::ToString(test::ReadFileBytes(dir.File(indexes[i])));
            if (name == "plain") plainIndexes[i] = Skeleton(Tags(html));
            EXPECT_EQ(Skeleton(Tags(html)), plainIndexes[i]) << name << " " << indexes[i];
            ExpectAddressesResolve(dir.File(indexes[i]), name);
        }
    }

    // Plain names keep their classic image line byte for byte; the seven bytes that would
    // break it are encoded.
    EXPECT_EQ(names::ClassicAddress("1a b-c_d.png"), "1a b-c_d.png");
    EXPECT_EQ(names::ClassicAddress("1a\"onerror=\"alert(1).png"), "1a%22onerror=%22alert(1).png");
    EXPECT_EQ(names::ClassicAddress("\"#%&<>?"), "%22%23%25%26%3C%3E%3F");
}

}  // namespace
}  // namespace quill
