#include "ops/search.hpp"

#include <cstring>

#include "ops/kernels.hpp"

namespace tessaron {
namespace {

using v4 = double __attribute__((vector_size(32)));
using m4 = long long __attribute__((vector_size(32)));

// Blocks of 16 compared at once, without early exit inside a block; the
// scan stops at the first block holding a match.
[[gnu::always_inline]] inline bool scan(const double* x, std::size_t n, double v) {
    const v4 target = {v, v, v, v};
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        v4 a, b, c, d;
        std::memcpy(&a, x + i, sizeof a);
        std::memcpy(&b, x + i + 4, sizeof b);
        std::memcpy(&c, x + i + 8, sizeof c);
        std::memcpy(&d, x + i + 12, sizeof d);
        const m4 hit = (a == target) | (b == target) | (c == target) | (d == target);
        if (hit[0] | hit[1] | hit[2] | hit[3]) return true;
    }
    for (; i < n; ++i)
        if (x[i] == v) return true;
    return false;
}

bool scan_default(const double* x, std::size_t n, double v) { return scan(x, n, v); }

#if defined(__x86_64__)
[[gnu::target("avx2")]] bool scan_avx2(const double* x, std::size_t n, double v) {
    return scan(x, n, v);
}
#endif

}  // namespace

bool contains(const NdArray& a, double v) {
#if defined(__x86_64__)
    if (cpu_has_avx2()) return scan_avx2(a.data.data(), a.size(), v);
#endif
    return scan_default(a.data.data(), a.size(), v);
}

}  // namespace tessaron
