#include "spatial/group_kernels.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "array/isa.hpp"

// The vector helpers below are always inlined within this file: no call
// passes a vector across an ABI boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tessaron::spatial {
namespace {

[[gnu::always_inline]] inline v4 load4(const double* p) {
    v4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline v4 splat(double x) { return v4{x, x, x, x}; }

// The lanes of members 4 b .. 4 b + 3 that exist: those before `end`.
[[gnu::always_inline]] inline v4_mask lanes_before(std::uint64_t b, std::uint64_t end) {
    const long long first = static_cast<long long>(4 * b), last = static_cast<long long>(end);
    const v4_mask lane = v4_mask{0, 1, 2, 3} + first;
    return lane < last;
}

// Point x's coordinates, each in all four lanes; only the first D (or, for
// D = 0, none: keys_of then splats as it goes).
template <std::uint64_t D>
struct Splats {
    v4 at[D ? D : 1];
    [[gnu::always_inline]] explicit Splats(const double* x) {
        if constexpr (D > 0)
            for (std::uint64_t d = 0; d < D; ++d) at[d] = splat(x[d]);
    }
};

// The keys of members 4 b .. 4 b + 3 with point x (dim coordinates), as the
// scalar metric forms them: a sum from 0.0 (or a running maximum) over the
// coordinates in order, the member's coordinate minus the point's.
template <class M, std::uint64_t D>
[[gnu::always_inline]] inline v4 keys_of(const double* columns, std::uint64_t stride, std::uint64_t b,
                                         const Splats<D>& xs, const double* x, std::uint64_t dim,
                                         const double* period, std::uint64_t period_stride) {
    const std::uint64_t n = D ? D : dim;
    v4 s = splat(0.0);
    for (std::uint64_t d = 0; d < n; ++d) {
        v4 xd;
        if constexpr (D > 0)
            xd = xs.at[d];
        else
            xd = splat(x[d]);
        v4 diff = load4(columns + d * stride + 4 * b) - xd;
        if constexpr (kWrappedKeys<M>) {
            // |diff|, then L - |diff| where that is smaller (never for L = inf).
            const v4 size = (v4)((v4_mask)diff & (v4_mask{} + 0x7fffffffffffffffLL));
            const v4 around = splat(period[d * period_stride]) - size;
            diff = around < size ? around : size;
        }
        if constexpr (M::id == DistanceMetric::Euclidean) {
            s = s + diff * diff;
        } else {
            // |diff|: the sign bit cleared, as fabs does.
            const v4 size = (v4)((v4_mask)diff & (v4_mask{} + 0x7fffffffffffffffLL));
            if constexpr (M::id == DistanceMetric::Manhattan)
                s = s + size;
            else
                s = size > s ? size : s;
        }
    }
    return s;
}

struct CountArgs {
    const GroupColumns* g;
    const double* points;
    std::uint64_t count;
    const double* thresholds;
    std::uint64_t thresholds_count;
    bool beyond;
    std::int64_t* bins;
    v4_mask* tallies;  // one per threshold, zeroed
};

template <class M, std::uint64_t D>
[[gnu::always_inline]] inline void count_body(const CountArgs* a) {
    const GroupColumns& g = *a->g;
    const std::uint64_t dim = D ? D : g.dim, blocks = g.stride / 4, nk = a->thresholds_count;
    const v4_mask last_lanes = lanes_before(blocks - 1, g.members);
    for (std::uint64_t p = 0; p < a->count; ++p) {
        const double* x = a->points + p * dim;
        const Splats<D> xs(x);
        for (std::uint64_t b = 0; b < blocks; ++b) {
            const v4 key = keys_of<M, D>(g.values, g.stride, b, xs, x, dim, g.period, g.period_stride);
            // A true lane is -1: subtracting counts it. The last block may
            // hold padding.
            if (b + 1 < blocks)
                for (std::uint64_t k = 0; k < nk; ++k) a->tallies[k] -= (key <= splat(a->thresholds[k]));
            else
                for (std::uint64_t k = 0; k < nk; ++k) a->tallies[k] -= (key <= splat(a->thresholds[k])) & last_lanes;
        }
    }
    // Tally k counts the keys up to threshold k: bin k is its difference
    // from the tally before.
    std::int64_t before = 0;
    for (std::uint64_t k = 0; k < nk; ++k) {
        const v4_mask t = a->tallies[k];
        const std::int64_t at_most = static_cast<std::int64_t>(t[0] + t[1] + t[2] + t[3]);
        a->bins[k] += at_most - before;
        before = at_most;
    }
    if (a->beyond) a->bins[nk] += static_cast<std::int64_t>(a->count * g.members) - before;
}

template <class M>
[[gnu::always_inline]] inline void count_dispatch(const CountArgs* a) {
    if (a->g->dim == 3)
        count_body<M, 3>(a);
    else if (a->g->dim == 2)
        count_body<M, 2>(a);
    else
        count_body<M, 0>(a);
}

struct WithinArgs {
    const GroupColumns* g;
    const double* points;
    std::uint64_t count;
    double limit;
    std::uint64_t limits_from;
    KeyHit* hits;
};

// Writes the four lanes' hits at hits[found...] and counts the true ones, so
// that they end up one after another without a branch per lane (the
// places past the last true lane are written and left).
[[gnu::always_inline]] inline std::uint64_t emit(const v4_mask hit, const v4 key, std::uint64_t b, std::uint64_t p,
                                                 KeyHit* hits, std::uint64_t found) {
    for (std::uint32_t lane = 0; lane < 4; ++lane) {
        hits[found] = {static_cast<std::uint32_t>(4 * b + lane), static_cast<std::uint32_t>(p), key[lane]};
        found += hit[lane] != 0;
    }
    return found;
}

template <class M, std::uint64_t D>
[[gnu::always_inline]] inline std::uint64_t within_body(const WithinArgs* a) {
    const GroupColumns& g = *a->g;
    const std::uint64_t dim = D ? D : g.dim;
    const v4 limit = splat(a->limit);
    std::uint64_t found = 0;
    for (std::uint64_t p = 0; p < a->count; ++p) {
        const double* x = a->points + p * dim;
        const Splats<D> xs(x);
        const std::uint64_t members = a->limits_from >= g.members ? g.members : std::min(g.members, a->limits_from + p);
        const std::uint64_t whole = members / 4;
        for (std::uint64_t b = 0; b < whole; ++b) {
            const v4 key = keys_of<M, D>(g.values, g.stride, b, xs, x, dim, g.period, g.period_stride);
            const v4_mask hit = key <= limit;
            if (hit[0] | hit[1] | hit[2] | hit[3]) found = emit(hit, key, b, p, a->hits, found);
        }
        if (members % 4 != 0) {
            const v4 key = keys_of<M, D>(g.values, g.stride, whole, xs, x, dim, g.period, g.period_stride);
            const v4_mask hit = (key <= limit) & lanes_before(whole, members);
            if (hit[0] | hit[1] | hit[2] | hit[3]) found = emit(hit, key, whole, p, a->hits, found);
        }
    }
    return found;
}

template <class M>
[[gnu::always_inline]] inline std::uint64_t within_dispatch(const WithinArgs* a) {
    if (a->g->dim == 3) return within_body<M, 3>(a);
    if (a->g->dim == 2) return within_body<M, 2>(a);
    return within_body<M, 0>(a);
}

}  // namespace

GroupColumns lay_out_columns(const double* const* points, std::uint64_t count, std::uint64_t dim,
                             std::vector<double>& storage) {
    const std::uint64_t stride = (count + 3) / 4 * 4;
    storage.assign(stride * dim, 0.0);
    for (std::uint64_t i = 0; i < count; ++i)
        for (std::uint64_t d = 0; d < dim; ++d) storage[d * stride + i] = points[i][d];
    return {storage.data(), count, stride, dim};
}

template <class M>
void bin_keys(const GroupColumns& g, const double* points, std::uint64_t count, const double* thresholds,
              std::uint64_t thresholds_count, bool beyond, std::int64_t* bins) {
    if (count == 0 || g.members == 0) return;
    if (thresholds_count == 0) {
        if (beyond) bins[0] += static_cast<std::int64_t>(count * g.members);
        return;
    }
    constexpr std::uint64_t kOnStack = 32;
    v4_mask on_stack[kOnStack] = {};
    std::vector<v4_mask> on_heap(thresholds_count > kOnStack ? thresholds_count : 0);
    const CountArgs a{&g, points, count, thresholds, thresholds_count, beyond, bins,
                      thresholds_count > kOnStack ? on_heap.data() : on_stack};
    with_best_isa<&count_dispatch<M>>(&a);
}

template <class M>
std::uint64_t keys_within(const GroupColumns& g, const double* points, std::uint64_t count, double limit,
                          std::uint64_t limits_from, KeyHit* hits) {
    if (count == 0 || g.members == 0) return 0;
    const WithinArgs a{&g, points, count, limit, limits_from, hits};
    return with_best_isa<&within_dispatch<M>>(&a);
}

template void bin_keys<metrics::Euclidean>(const GroupColumns&, const double*, std::uint64_t, const double*,
                                           std::uint64_t, bool, std::int64_t*);
template void bin_keys<metrics::Manhattan>(const GroupColumns&, const double*, std::uint64_t, const double*,
                                           std::uint64_t, bool, std::int64_t*);
template void bin_keys<metrics::Chebyshev>(const GroupColumns&, const double*, std::uint64_t, const double*,
                                           std::uint64_t, bool, std::int64_t*);
template std::uint64_t keys_within<metrics::Euclidean>(const GroupColumns&, const double*, std::uint64_t, double,
                                                       std::uint64_t, KeyHit*);
template std::uint64_t keys_within<metrics::Manhattan>(const GroupColumns&, const double*, std::uint64_t, double,
                                                       std::uint64_t, KeyHit*);
template std::uint64_t keys_within<metrics::Chebyshev>(const GroupColumns&, const double*, std::uint64_t, double,
                                                       std::uint64_t, KeyHit*);

#define TESSARON_GROUP_KERNELS(M)                                                                                   \
    template void bin_keys<M>(const GroupColumns&, const double*, std::uint64_t, const double*, std::uint64_t, bool, \
                              std::int64_t*);                                                                        \
    template std::uint64_t keys_within<M>(const GroupColumns&, const double*, std::uint64_t, double, std::uint64_t,  \
                                          KeyHit*);
TESSARON_GROUP_KERNELS(Wrapped<metrics::Euclidean>)
TESSARON_GROUP_KERNELS(Wrapped<metrics::Manhattan>)
TESSARON_GROUP_KERNELS(Wrapped<metrics::Chebyshev>)
#undef TESSARON_GROUP_KERNELS

}  // namespace tessaron::spatial
