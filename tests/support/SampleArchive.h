#pragma once

#include <filesystem>
#include <string>

#include "support/Cp866Text.h"
#include "support/TestSupport.h"

namespace quill::test {

// A small archive below folder (folder/archive) that holds what trips pages up: line
// colours on picture lines (finished and never finished), spans still open at the end of
// the text, every colour code and the line colour, LF inside lines, the bytes that become
// entities, control bytes and a tab, cp866 letters, and odd file names (a space, "&", "#",
// "%", Cyrillic) two folders deep. The word "поезда" stands in obzor.$w only; "Погода" in
// sub folder/погода.$ж only.
inline void WriteSampleArchive(const std::filesystem::path& folder) {
    const std::filesystem::path archive = folder / "archive";
    std::filesystem::create_directories(archive / "sub folder" / "deeper");
    const std::string header(17, '\x01');
    const std::string pictureData(3 * 288, '\x5a');
    const auto write = [&](const std::string& name, const std::string& text) {
        WriteFileBytes((archive / name).string(), ToBytes(header + text));
    };
    using std::string_literals::operator""s;
    write("obzor.$w", Cp866("ОБЗОР НОМЕРА") + "\x06\r" + Cp866("Мы долго ждали поезда.") +
                          "\r\xff\x80\r\xff\x81\x03\r" + Cp866("Цвета: ") + "\x01" +
                          Cp866("синий ") + "\x02" + Cp866("красный") + "\x08\r\xff\x82\x05\r" +
                          "a<b, c>d, ~ \x7f AT&T \"q\"\r\t\x0b\x1b|\r" + '\0' + pictureData);
    write("news 1.$w", Cp866("Новости") + "\r\x04" + Cp866("цвет до самого конца"));
    write("a&b #1%.$w", "R&D &copy; <b>\rone\r\ntwo\x05\r\xff\x80\x05\r");
    write("sub folder/погода.$ж", Cp866("Погода была хорошей, the trains ran late.") +
                                      "\r\xff\x80\x02\r" + Cp866("после") + "\r" + '\0' +
                                      pictureData);
    write("sub folder/deeper/english.$w",
          "\x01"
          "Blue\x08 and \x07white\r\x03\r");
}

}  // namespace quill::test
