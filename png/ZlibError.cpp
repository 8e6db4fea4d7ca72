#include "png/ZlibError.h"

namespace quill {

int CompressionCheck(int code) {
    if (code < 0) throw ECompressionError(kZlibError);
    return code;
}

int DecompressionCheck(int code) {
    if (code < 0) throw EDecompressionError(kZlibError);
    return code;
}

}  // namespace quill
