#include "fuzz/DecompressionCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quill::fuzz::CheckDecompression(data, size);
    return 0;
}
