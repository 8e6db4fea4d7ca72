#include "fuzz/ConversionCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quill::fuzz::CheckConversion(data, size);
    return 0;
}
