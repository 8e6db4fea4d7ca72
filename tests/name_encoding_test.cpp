#include <gtest/gtest.h>

#include <string>

#include "convert/NameEncoding.h"

namespace quill {
namespace {

TEST(NameEncoding, NamesThatAreNotUtf8ShowInTheirCodePage) {
    struct Case {
        const char* encoding;
        std::string name, shown;
    };
    const Case cases[] = {
        {"cp866", "\x8e\xa1\xa7\xae\xe0.$w", "Обзор.$w"},
        {"CP866", "arc/\x8e\xa1\xa7\xae\xe0/\x8e.$w", "arc/Обзор/О.$w"},
        // Each part by itself: a UTF-8 folder stays as it is.
        {"cp866", "Обзор/\x8e\xa1\xa7\xae\xe0.$w -> x", "Обзор/Обзор.$w -> x"},
        {"cp866", "u\xed\xa0\x80\x80.$w", "uэаАА.$w"},  // an encoded surrogate is no UTF-8
        {"cp866", "plain & <odd> \x01.$w", "plain & <odd> \x01.$w"},
        {"koi8-r", "\xef\xc2\xda\xcf\xd2", "Обзор"},
        {"windows-1251", "\xce\xe1\xe7\xee\xf0/\x98", "Обзор/\uFFFD"},  // 98: no letter there
        {"utf-8", "\x8e\xa1.$w", "\x8e\xa1.$w"},
    };
    for (const Case& c : cases) {
        const auto encoding = names::TNameEncoding::Named(c.encoding);
        ASSERT_TRUE(encoding) << c.encoding;
        EXPECT_EQ(encoding->Shown(c.name), c.shown) << c.encoding << " " << c.name;
    }
    // The documents' own table, held against the system's converter.
    const auto system = names::TNameEncoding::Named("IBM866");
    ASSERT_TRUE(system);
    for (int b = 128; b < 256; ++b) {
        const std::string name(1, static_cast<char>(b));
        EXPECT_EQ(names::TNameEncoding().Shown(name), system->Shown(name)) << b;
    }
    for (const char* refused : {"nonsense", "utf-16", "gbk", "ucs-4", ""})
        EXPECT_FALSE(names::TNameEncoding::Named(refused)) << refused;
}

}  // namespace
}  // namespace quill
