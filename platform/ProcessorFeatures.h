#pragma once

namespace quill {

// How wide the vector kernels go, narrowest first; each width may also run what the
// narrower ones run. Plain is the scalar code that every build has.
enum class TVectorWidth { Plain, Sse2, Avx2, Avx512 };

// The processor features by which the kernels of png/ and convert/ are chosen. Each
// feature belongs to the narrowest width whose kernels use it, and is off below it:
// byte shuffles and carry-less multiplication to Sse2, population count to Avx2, the
// AVX-512 byte permutes and compresses to Avx512.
struct TProcessorFeatures {
    TVectorWidth Width = TVectorWidth::Plain;  // the widest kernels that may run
    bool Ssse3 = false;
    bool Clmul = false;
    bool Popcnt = false;
    bool Avx512Vbmi2 = false;  // VBMI, VBMI2 and BMI2 beside AVX512BW
};

// What kernels of at most `widest` may use: the processor is asked once per process, at
// the first call, and the answer narrowed to each width is kept in one table, so that a
// hot path holds a reference taken at its start. Narrower widths are how every kernel is
// reached on one machine (TRunSettings::Widest, TPNG's width, tests and benchmarks).
const TProcessorFeatures& ProcessorFeatures(TVectorWidth widest = TVectorWidth::Avx512);

}  // namespace quill
