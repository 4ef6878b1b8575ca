#include "spatial/locality.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace tessaron::spatial {

namespace {

// Below this many queries the whole batch stays in cache anyway.
constexpr std::uint64_t kOrderedBatch = 4096;

// The curve interleaves the bits of up to this many dimensions: enough
// bits each to order points within a leaf's reach.
constexpr std::uint64_t kCurveDims = 3;

}  // namespace

void locality_order(const double* queries, std::uint64_t m, std::uint64_t dim, std::vector<std::uint64_t>& order) {
    order.resize(m);
    std::iota(order.begin(), order.end(), std::uint64_t{0});
    if (m < kOrderedBatch || dim == 0) return;
    const std::uint64_t dims = std::min(dim, kCurveDims);
    const unsigned bits = static_cast<unsigned>(63 / dims);
    // Each curve dimension scaled to [0, 2^bits) over the finite coordinates.
    std::vector<double> lo(dims, HUGE_VAL), scale(dims, 0.0);
    std::vector<double> hi(dims, -HUGE_VAL);
    for (std::uint64_t i = 0; i < m; ++i)
        for (std::uint64_t d = 0; d < dims; ++d) {
            const double x = queries[i * dim + d];
            if (std::isfinite(x)) {
                lo[d] = std::min(lo[d], x);
                hi[d] = std::max(hi[d], x);
            }
        }
    const double cells = std::ldexp(1.0, static_cast<int>(bits)) - 1.0;
    for (std::uint64_t d = 0; d < dims; ++d)
        if (hi[d] > lo[d] && std::isfinite(hi[d] - lo[d])) scale[d] = cells / (hi[d] - lo[d]);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> keyed(m);
    for (std::uint64_t i = 0; i < m; ++i) {
        std::uint64_t key = 0;
        for (std::uint64_t d = 0; d < dims; ++d) {
            const double x = queries[i * dim + d];
            // NaN and values outside the finite range go to the ends.
            const double t = std::isnan(x) || scale[d] == 0.0 ? 0.0 : std::clamp((x - lo[d]) * scale[d], 0.0, cells);
            const auto cell = static_cast<std::uint64_t>(t);
            for (unsigned b = 0; b < bits; ++b) key |= ((cell >> b) & 1u) << (b * dims + d);
        }
        keyed[i] = {key, i};
    }
    std::sort(keyed.begin(), keyed.end());
    for (std::uint64_t i = 0; i < m; ++i) order[i] = keyed[i].second;
}

}  // namespace tessaron::spatial
