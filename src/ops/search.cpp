#include "ops/search.hpp"

#include <cstring>

#include "array/isa.hpp"

namespace tessaron {
namespace {

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
        const v4_mask hit = (a == target) | (b == target) | (c == target) | (d == target);
        if (hit[0] | hit[1] | hit[2] | hit[3]) return true;
    }
    for (; i < n; ++i)
        if (x[i] == v) return true;
    return false;
}

}  // namespace

bool contains(const NdArray& a, double v) { return with_best_isa<scan>(a.data.data(), a.size(), v); }

}  // namespace tessaron
