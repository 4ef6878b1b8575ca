// The inner loops of element-wise arithmetic, compiled for the baseline
// instruction set and, on x86-64, also for AVX2, chosen once per run. Every
// element is computed by the same single IEEE operation either way.
#pragma once

#include <cstdint>

#include "array/isa.hpp"

namespace tessaron {

// One run of the innermost loop: n results from x (step sx) and y (step sy).
// The common steps get their own loops so the compiler vectorises them.
template <class Op>
[[gnu::always_inline]] inline void run_body(double* o, const double* x, std::uint64_t sx,
                                            const double* y, std::uint64_t sy, std::uint64_t n) {
    if (sx == 1 && sy == 1) {
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(x[i], y[i]);
    } else if (sx == 1 && sy == 0) {
        const double v = *y;
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(x[i], v);
    } else if (sx == 0 && sy == 1) {
        const double u = *x;
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(u, y[i]);
    } else {
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(x[i * sx], y[i * sy]);
    }
}

template <class Op>
void run(double* o, const double* x, std::uint64_t sx, const double* y, std::uint64_t sy,
         std::uint64_t n) {
    with_best_isa<run_body<Op>>(o, x, sx, y, sy, n);
}

}  // namespace tessaron
