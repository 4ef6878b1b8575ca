// Instruction-set dispatch. A hot loop is written once as an always_inline
// function and compiled twice: for the baseline and, on x86-64, for AVX2.
// `with_best_isa` picks the variant once per call. Both compute every value
// with the same IEEE operations, so results do not depend on the choice.
#pragma once

namespace tessaron {

// Four doubles in one 256-bit register (GCC vector extension; on a baseline
// target the compiler splits it into two 128-bit halves).
using v4 = double __attribute__((vector_size(32)));
using v4_mask = long long __attribute__((vector_size(32)));

#if defined(__x86_64__)
inline bool cpu_has_avx2() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}

template <auto Body, class... A>
[[gnu::target("avx2")]] auto run_avx2(A... args) {
    return Body(args...);
}
#endif

// Calls Body(args...) compiled for the best instruction set of this CPU.
template <auto Body, class... A>
auto with_best_isa(A... args) {
#if defined(__x86_64__)
    if (cpu_has_avx2()) return run_avx2<Body>(args...);
#endif
    return Body(args...);
}

}  // namespace tessaron
