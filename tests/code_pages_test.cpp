// The code pages of our own give what the system's converter gives, byte for byte: pages
// and search records keep their bytes whichever system made them.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <iconv.h>
#endif

#include <string>

#include "platform/CodePages.h"
#include "support/Cp866Text.h"

namespace quill {
namespace {

#ifndef _WIN32
// One byte through iconv; "" where the code page leaves it undefined.
std::string Iconv(const char* from, uint8_t b) {
    iconv_t cd = iconv_open("UTF-8", from);
    char in = static_cast<char>(b), out[8];
    char* inp = &in;
    char* outp = out;
    size_t inLeft = 1, outLeft = sizeof out;
    const size_t done = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    return done == static_cast<size_t>(-1) ? "" : std::string(out, sizeof out - outLeft);
}
#endif

TEST(CodePages, EveryByteAsTheSystemsConverterHasIt) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<uint8_t>(b);
        const std::string cp866 = codepage::Utf8(codepage::Cp866(byte));
        const char32_t w = codepage::Windows1251(byte);
        if (b >= 128) {
            EXPECT_EQ(cp866, test::Cp866High()[b - 128]) << b;
        }
#ifndef _WIN32
        EXPECT_EQ(cp866, Iconv("CP866", byte)) << b;
        EXPECT_EQ(w == 0 && b != 0 ? "" : codepage::Utf8(w), Iconv("WINDOWS-1251", byte)) << b;
#else
        EXPECT_EQ(w == 0, b == 0 || b == 0x98) << b;
#endif
    }
}

}  // namespace
}  // namespace quill
