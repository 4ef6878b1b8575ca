#include "stats/correlation.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

namespace tessaron {
namespace {

struct Keyed {
    std::uint64_t key;
    std::uint64_t index;
};

constexpr std::uint64_t kNaNKey = ~std::uint64_t{0};

// An unsigned key whose order is the order of the values: numbers ascending
// (-0.0 taken as +0.0, as "<" does not tell them apart), every NaN above them.
std::uint64_t order_key(double x) {
    if (x != x) return kNaNKey;
    const auto bits = std::bit_cast<std::uint64_t>(x == 0.0 ? 0.0 : x);
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return bits & sign ? ~bits : bits | sign;  // never kNaNKey: that would be a NaN
}

// Stable least-significant-digit radix sort on the keys, 11 bits per pass;
// a pass whose digit is the same for every key is skipped.
void radix_sort(std::vector<Keyed>& items) {
    constexpr int kBits = 11, kPasses = (64 + kBits - 1) / kBits;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    const std::size_t n = items.size();
    std::vector<std::array<std::size_t, kBuckets>> counts(kPasses);
    for (const Keyed& it : items)
        for (int p = 0; p < kPasses; ++p) ++counts[p][(it.key >> (p * kBits)) & (kBuckets - 1)];
    std::vector<Keyed> scratch(n);
    for (int p = 0; p < kPasses; ++p) {
        auto& count = counts[p];
        if (std::find(count.begin(), count.end(), n) != count.end()) continue;
        std::size_t start = 0;
        for (std::size_t& c : count) start += std::exchange(c, start);  // counts -> offsets
        for (const Keyed& it : items) scratch[count[(it.key >> (p * kBits)) & (kBuckets - 1)]++] = it;
        items.swap(scratch);
    }
}

}  // namespace

NdArray ranks(const NdArray& a) {
    check_eq(a.ndim(), 1, "Array must be 1d");
    const std::size_t n = a.size();
    std::vector<Keyed> sorted(n);
    for (std::size_t i = 0; i < n; ++i) sorted[i] = {order_key(a.data[i]), i};
    radix_sort(sorted);
    NdArray r = NdArray::uninit(d1(n));
    // Equal keys are equal values, except NaN, which equals nothing.
    for (std::size_t i = 0, e = 0; i < n; i = e) {
        e = i + 1;
        if (sorted[i].key != kNaNKey)
            while (e < n && sorted[e].key == sorted[i].key) ++e;
        const double rank = static_cast<double>(i + 1 + e) * 0.5;
        for (std::size_t p = i; p < e; ++p) r.data[sorted[p].index] = rank;
    }
    return r;
}

double pearson(const NdArray& a, const NdArray& b) {
    check_eq(a.size(), b.size(), "Arrays must have same length");
    check_eq(a.ndim(), 1, "Array must be 1d");
    check_eq(b.ndim(), 1, "Array must be 1d");
    const std::size_t n = a.size();
    const double *x = a.data.data(), *y = b.data.data();
    // The two sums (each in order from -0.0) in one loop, so that neither
    // waits for the other's additions.
    double sum_a = -0.0, sum_b = -0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sum_a += x[i];
        sum_b += y[i];
    }
    const double ma = sum_a / static_cast<double>(n), mb = sum_b / static_cast<double>(n);
    double cov = 0.0, saa = 0.0, sbb = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double da = x[i] - ma, db = y[i] - mb;
        cov += da * db;
        saa += da * da;
        sbb += db * db;
    }
    // These sums are never -0.0 or -inf, where a square root and the power
    // 0.5 differ.
    const double sa = std::sqrt(saa), sb = std::sqrt(sbb);
    if (sa == 0.0 || sb == 0.0) return 0.0;
    // Rounding can carry the quotient just past +-1; NaN stays NaN.
    const double r = cov / (sa * sb);
    return r > 1.0 ? 1.0 : (r < -1.0 ? -1.0 : r);
}

double spearman(const NdArray& a, const NdArray& b) {
    const NdArray ra = ranks(a);
    const NdArray rb = ranks(b);
    return pearson(ra, rb);
}

}  // namespace tessaron
