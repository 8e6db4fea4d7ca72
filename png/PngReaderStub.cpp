// Stands in for the PNG reader until it is merged; delete this file then.
#include "png/Png.h"

namespace quill {

void TPNG::LoadFromStream(TStream&) {
    throw EInvalidGraphic("reading PNG files is not built in yet");
}

}  // namespace quill
