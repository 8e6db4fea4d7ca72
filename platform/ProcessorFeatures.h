#pragma once

namespace quill::scan {

// How wide the searches over a whole read buffer go.
enum class TVectorWidth { Plain, Sse2, Avx2, Avx512 };

}  // namespace quill::scan
