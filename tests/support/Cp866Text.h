#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace quill::test {

// The characters of cp866's bytes 128 to 255, written out as the DOS code page has them:
// the tests' own reference, held against iconv where the system has one
// (code_pages_test.cpp).
inline const std::vector<std::string>& Cp866High() {
    static const std::vector<std::string> characters = [] {
        const std::string all =
            "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмноп"
            "░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
            "рстуфхцчшщъыьэюяЁёЄєЇїЎў°∙·√№¤■\u00a0";
        std::vector<std::string> list;
        for (size_t i = 0; i < all.size();) {
            const auto lead = static_cast<unsigned char>(all[i]);
            const size_t n = lead >= 0xE0 ? 3 : 2;
            list.push_back(all.substr(i, n));
            i += n;
        }
        return list;
    }();
    return characters;
}

// UTF-8 text as cp866 bytes, as a document holds it.
inline std::string Cp866(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out += utf8[i++];
            continue;
        }
        size_t b = 0;
        while (b < 128 && utf8.compare(i, Cp866High()[b].size(), Cp866High()[b]) != 0) ++b;
        if (b == 128) throw std::runtime_error("not cp866: " + utf8);
        out += static_cast<char>(128 + b);
        i += Cp866High()[b].size();
    }
    return out;
}

}  // namespace quill::test
