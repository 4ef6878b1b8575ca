#include "stats/correlation.hpp"

#include "stats/sort.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessaron {
namespace {

struct Keyed {
    std::uint64_t key;
    std::uint64_t index;
};

}  // namespace

NdArray ranks(const NdArray& a, Watch* watch) {
    check_eq(a.ndim(), 1, "Array must be 1d");
    const std::size_t n = a.size();
    std::vector<Keyed> sorted;
    sorted.reserve(n);
    in_watched_blocks(0, n, 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::size_t i = from; i < to; ++i) sorted.push_back({order_key(a.data[i]), i});
    });
    radix_sort(sorted, [](const Keyed& k) { return k.key; }, watch);
    NdArray r = NdArray::uninit(d1(n));
    // Equal keys are equal values, except NaN, which equals nothing. The
    // ranks land all over `r`: the watch is told of each run of ties.
    for (std::size_t i = 0, e = 0; i < n; i = e) {
        e = i + 1;
        if (sorted[i].key != kNaNKey)
            while (e < n && sorted[e].key == sorted[i].key) ++e;
        const double rank = static_cast<double>(i + 1 + e) * 0.5;
        for (std::size_t p = i; p < e; ++p) r.data[sorted[p].index] = rank;
        if (watch) watch->tick(4 * (e - i));
    }
    return r;
}

double pearson(const NdArray& a, const NdArray& b, Watch* watch) {
    check_eq(a.size(), b.size(), "Arrays must have same length");
    check_eq(a.ndim(), 1, "Array must be 1d");
    check_eq(b.ndim(), 1, "Array must be 1d");
    const std::size_t n = a.size();
    const double *x = a.data.data(), *y = b.data.data();
    // The two sums (each in order from -0.0) in one loop, so that neither
    // waits for the other's additions.
    double sum_a = -0.0, sum_b = -0.0;
    in_watched_blocks(0, n, 2, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::size_t i = from; i < to; ++i) {
            sum_a += x[i];
            sum_b += y[i];
        }
    });
    const double ma = sum_a / static_cast<double>(n), mb = sum_b / static_cast<double>(n);
    double cov = 0.0, saa = 0.0, sbb = 0.0;
    in_watched_blocks(0, n, 2, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const double da = x[i] - ma, db = y[i] - mb;
            cov += da * db;
            saa += da * da;
            sbb += db * db;
        }
    });
    // These sums are never -0.0 or -inf, where a square root and the power
    // 0.5 differ.
    const double sa = std::sqrt(saa), sb = std::sqrt(sbb);
    if (sa == 0.0 || sb == 0.0) return 0.0;
    // Rounding can carry the quotient just past +-1; NaN stays NaN.
    const double r = cov / (sa * sb);
    return r > 1.0 ? 1.0 : (r < -1.0 ? -1.0 : r);
}

double pearson(const NdArray& a, const NdArray& b) { return pearson(a, b, nullptr); }

double spearman(const NdArray& a, const NdArray& b, Watch* watch) {
    const NdArray ra = ranks(a, watch);
    const NdArray rb = ranks(b, watch);
    return pearson(ra, rb, watch);
}

}  // namespace tessaron
