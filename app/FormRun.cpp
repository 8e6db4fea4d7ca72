#include "app/FormRun.h"

#include "convert/ConversionRun.h"

namespace quill {

void RunConversion(TPageStyle style, TOptionsSource& options, TFileChooser& chooser) {
    TConversionRun run(options, chooser, style);
    run.Run();
}

}  // namespace quill
