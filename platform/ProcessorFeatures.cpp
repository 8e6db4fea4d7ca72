#include "platform/ProcessorFeatures.h"

#include <algorithm>
#include <array>

namespace quill {

namespace {

constexpr int kWidths = static_cast<int>(TVectorWidth::Avx512) + 1;

// The only place that asks the processor. __builtin_cpu_init makes the answer right
// even before the static initializers that would otherwise set it up have run.
TProcessorFeatures Detect() {
    TProcessorFeatures f;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    f.Width = __builtin_cpu_supports("avx512bw") ? TVectorWidth::Avx512
              : __builtin_cpu_supports("avx2")   ? TVectorWidth::Avx2
              : __builtin_cpu_supports("sse2")   ? TVectorWidth::Sse2
                                                 : TVectorWidth::Plain;
    f.Ssse3 = __builtin_cpu_supports("ssse3");
    f.Clmul = __builtin_cpu_supports("pclmul");
    f.Popcnt = __builtin_cpu_supports("popcnt");
    f.Avx512Vbmi2 = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
                    __builtin_cpu_supports("bmi2");
#endif
    return f;
}

TProcessorFeatures Narrowed(TProcessorFeatures f, TVectorWidth widest) {
    f.Width = std::min(f.Width, widest);
    f.Ssse3 = f.Ssse3 && f.Width >= TVectorWidth::Sse2;
    f.Clmul = f.Clmul && f.Width >= TVectorWidth::Sse2;
    f.Popcnt = f.Popcnt && f.Width >= TVectorWidth::Avx2;
    f.Avx512Vbmi2 = f.Avx512Vbmi2 && f.Width >= TVectorWidth::Avx512;
    return f;
}

}  // namespace

const TProcessorFeatures& ProcessorFeatures(TVectorWidth widest) {
    static const std::array<TProcessorFeatures, kWidths> kByWidth = [] {
        const TProcessorFeatures detected = Detect();
        std::array<TProcessorFeatures, kWidths> table;
        for (int w = 0; w < kWidths; ++w)
            table[static_cast<size_t>(w)] = Narrowed(detected, static_cast<TVectorWidth>(w));
        return table;
    }();
    return kByWidth[static_cast<size_t>(std::clamp(static_cast<int>(widest), 0, kWidths - 1))];
}

}  // namespace quill
