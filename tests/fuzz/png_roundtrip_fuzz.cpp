#include "fuzz/PngRoundTripCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quill::fuzz::CheckPngRoundTrip(data, size);
    return 0;
}
