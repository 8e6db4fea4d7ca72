#include "png/ZlibError.h"

namespace quill {

int CompressionCheck(int code) {
    if (code < 0) throw ECompressionError(sZlibError);
    return code;
}

int DecompressionCheck(int code) {
    if (code < 0) throw EDecompressionError(sZlibError);
    return code;
}

}  // namespace quill
