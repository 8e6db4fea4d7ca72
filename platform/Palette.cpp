#include "platform/Palette.h"

namespace quill {

HPALETTE CreatePalette(const TLogPalette& logPalette) {
    const size_t count = logPalette.palPalEntry.size();
    if (logPalette.palVersion != 0x300 || count == 0 || count > 256) return nullptr;
    return std::make_unique<TPalette>(logPalette.palPalEntry);
}

}  // namespace quill
