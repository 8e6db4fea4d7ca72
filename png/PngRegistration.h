#pragma once

#include <typeinfo>

#include "platform/Picture.h"
#include "png/Png.h"

namespace quill {

// Makes TPNG the picture registry's class for ".png" files for as long as it lives.
// Programs create one first thing in main, so the registration spans the whole run
// and is removed again at its end.
class TPngRegistration {
  public:
    TPngRegistration() { TPicture::RegisterFileFormat<TPNG>("PNG", "PNG Image File"); }
    ~TPngRegistration() { TPicture::UnregisterGraphicClass(typeid(TPNG)); }
    TPngRegistration(const TPngRegistration&) = delete;
    TPngRegistration& operator=(const TPngRegistration&) = delete;
};

}  // namespace quill
