#include "stats/stats.hpp"

#include "array/kth_smallest.hpp"
#include "stats/sort.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaron {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool has_nan(const double* x, std::size_t n) {
    bool found = false;
    for (std::size_t i = 0; i < n; ++i) found |= x[i] != x[i];
    return found;
}

void check_quantile(double q) {
    if (!(q >= 0.0 && q <= 1.0)) panic("Quantile must be between 0 and 1");
}

// On NaN-free data, equal values are bitwise identical except 0.0 and -0.0;
// a stable sort leaves the zeros in input order. So the zero at sorted rank
// r is the (r - number of negatives)-th zero of the input.
double zero_at_rank(const double* x, std::size_t n, std::size_t rank) {
    std::size_t negatives = 0;
    for (std::size_t i = 0; i < n; ++i) negatives += x[i] < 0.0;
    std::size_t wanted = rank - negatives;
    for (std::size_t i = 0; i < n; ++i)
        if (x[i] == 0.0 && wanted-- == 0) return x[i];
    return 0.0;  // unreachable: the rank holds a zero
}

// The values at sorted ranks lo and hi (hi == lo or hi == lo + 1) of NaN-free
// data, found by selection instead of a full sort: the value at rank hi, and
// below it the largest smaller value if exactly hi values are smaller (else
// the same value again).
std::pair<double, double> select_ranks(const double* x, std::size_t n, std::size_t lo,
                                       std::size_t hi, Watch* watch) {
    Buffer work = Buffer::copy_of(x, n);
    double* w = work.data();
    double at_hi = kth_smallest(w, n, hi, watch);
    double at_lo = at_hi;
    if (lo != hi) {
        std::size_t smaller = 0;
        double largest_smaller = -std::numeric_limits<double>::infinity();
        in_watched_blocks(0, n, 1, watch, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to; ++i) {
                smaller += x[i] < at_hi;
                largest_smaller = x[i] < at_hi && x[i] > largest_smaller ? x[i] : largest_smaller;
            }
        });
        if (smaller == hi) at_lo = largest_smaller;
    }
    if (at_hi == 0.0) at_hi = zero_at_rank(x, n, hi);
    if (at_lo == 0.0) at_lo = lo == hi ? at_hi : zero_at_rank(x, n, lo);
    return {at_lo, at_hi};
}

// Linear interpolation between the closest ranks of the sorted data.
template <class AtRanks>
double interpolate(double q, std::size_t n, AtRanks&& at_ranks) {
    const double pos = q * static_cast<double>(n - 1);
    const auto lo = static_cast<std::size_t>(std::floor(pos));
    const auto hi = std::min(static_cast<std::size_t>(std::ceil(pos)), n - 1);
    const auto [s_lo, s_hi] = at_ranks(lo, hi);
    if (lo == hi) return s_lo;
    const double f = pos - static_cast<double>(lo);
    return (1.0 - f) * s_lo + f * s_hi;
}

}  // namespace

double sum(std::span<const double> x) {
    double s = -0.0;
    for (double v : x) s += v;
    return s;
}

double mean(std::span<const double> x) {
    if (x.empty()) return kNaN;
    return sum(x) / static_cast<double>(x.size());
}

double var(std::span<const double> x) {
    if (x.empty()) return kNaN;
    const double m = mean(x);
    double s = -0.0;
    for (double v : x) {
        const double d = v - m;
        s += d * d;
    }
    return s / static_cast<double>(x.size());
}

double std_dev(std::span<const double> x) { return std::sqrt(var(x)); }

bool any(std::span<const double> x) {
    return std::any_of(x.begin(), x.end(), [](double v) { return v != 0.0; });
}

bool all(std::span<const double> x) {
    return std::none_of(x.begin(), x.end(), [](double v) { return v == 0.0; });
}

namespace {
std::span<const double> values(const NdArray& a) { return {a.data.data(), a.size()}; }
}  // namespace

double sum(const NdArray& a) { return sum(values(a)); }
double mean(const NdArray& a) { return mean(values(a)); }
double var(const NdArray& a) { return var(values(a)); }
double std_dev(const NdArray& a) { return std_dev(values(a)); }
bool any(const NdArray& a) { return any(values(a)); }
bool all(const NdArray& a) { return all(values(a)); }

double median(const NdArray& a, Watch* watch) {
    const std::size_t n = a.size();
    if (n == 0 || has_nan(a.data.data(), n)) return kNaN;
    if (n % 2 == 1) return select_ranks(a.data.data(), n, n / 2, n / 2, watch).first;
    const auto [lo, hi] = select_ranks(a.data.data(), n, n / 2 - 1, n / 2, watch);
    return (lo + hi) * 0.5;
}

double quantile(const NdArray& a, double q, Watch* watch) {
    check_quantile(q);
    const std::size_t n = a.size();
    if (n == 0 || has_nan(a.data.data(), n)) return kNaN;
    return interpolate(q, n, [&](std::size_t lo, std::size_t hi) {
        return select_ranks(a.data.data(), n, lo, hi, watch);
    });
}

NdArray quantiles(const NdArray& a, const double* qs, std::size_t count, Watch* watch) {
    for (std::size_t j = 0; j < count; ++j) check_quantile(qs[j]);
    NdArray out = NdArray::uninit(d1(count));
    const std::size_t n = a.size();
    if (n == 0 || has_nan(a.data.data(), n)) {
        std::fill(out.data.begin(), out.data.end(), kNaN);
        return out;
    }
    // One sort for all q. The zeros, which an unstable sort may reorder, are
    // then written back in input order, as a stable sort leaves them.
    Buffer sorted = Buffer::copy_of(a.data.data(), n);
    sort_numbers(sorted.data(), n, watch);
    double* first_zero = std::lower_bound(sorted.begin(), sorted.end(), 0.0);
    for (double x : a.data)
        if (x == 0.0) *first_zero++ = x;
    for (std::size_t j = 0; j < count; ++j)
        out.data[j] = interpolate(qs[j], n, [&](std::size_t lo, std::size_t hi) {
            return std::pair{sorted[lo], sorted[hi]};
        });
    return out;
}

}  // namespace tessaron
