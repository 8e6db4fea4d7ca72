#include "fuzz/PngReaderCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quill::fuzz::CheckPngReader(data, size);
    return 0;
}
