#include <iconv.h>

#include <cerrno>

#include "platform/SystemCodePage.h"

namespace quill {

std::optional<std::array<std::string, 128>> SystemCodePageUpperHalf(const std::string& name) {
    // iconv takes "" for the locale's own code page, which is no name.
    if (name.empty()) return std::nullopt;
    const iconv_t cd = ::iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::array<std::string, 128> upper;
    bool singleByte = true;
    for (int b = 0; b < 256 && singleByte; ++b) {
        char in = static_cast<char>(b);
        char out[16];
        char* inp = &in;
        char* outp = out;
        size_t inLeft = 1, outLeft = sizeof out;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool done = ::iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1);
        singleByte = done || errno != EINVAL;
        if (b >= 128)
            upper[static_cast<size_t>(b - 128)] =
                done && outp != out ? std::string(out, outp) : "\uFFFD";
    }
    ::iconv_close(cd);
    if (!singleByte) return std::nullopt;
    return upper;
}

}  // namespace quill
