#include "array/kth_smallest.hpp"

#include <algorithm>
#include <bit>
#include <utility>

#include "array/isa.hpp"

namespace tessaron {
namespace {

double median_of_three(double a, double b, double c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Moves the keys of [lo, hi) for which keep(key) holds to the front, without
// data-dependent branches; returns the end of that group.
template <class Keep>
[[gnu::always_inline]] inline std::uint64_t partition(double* keys, std::uint64_t lo, std::uint64_t hi, Keep keep,
                                                      Watch* watch) {
    std::uint64_t m = lo;
    in_watched_blocks(lo, hi, 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t j = from; j < to; ++j) {
            const double key = keys[j];
            keys[j] = keys[m];
            keys[m] = key;
            m += keep(key);
        }
    });
    return m;
}

// Narrows [lo, hi) around k with two pivots read off a sorted sample, close
// below and above the k-th key (Floyd and Rivest's idea): one pass usually
// leaves a range of an eighth of the size. False if nothing was narrowed.
[[gnu::always_inline]] inline bool narrow_by_sample(double* keys, std::uint64_t& lo, std::uint64_t& hi, std::uint64_t k,
                                                    Watch* watch) {
    constexpr std::uint64_t kSample = 256, kSpread = 16;
    const std::uint64_t m = hi - lo;
    double sample[kSample];
    for (std::uint64_t i = 0; i < kSample; ++i) sample[i] = keys[lo + i * (m / kSample)];
    std::sort(sample, sample + kSample);
    const std::uint64_t at = (k - lo) * kSample / m;
    const double low = sample[at > kSpread ? at - kSpread : 0];
    const double high = sample[std::min(at + kSpread, kSample - 1)];
    const std::uint64_t below = partition(keys, lo, hi, [low](double x) { return x < low; }, watch);
    if (k < below) {
        hi = below;
        return true;
    }
    const std::uint64_t upto = partition(keys, below, hi, [high](double x) { return !(high < x); }, watch);
    if (k >= upto) {
        lo = upto;
        return true;
    }
    if (upto - below == m) return false;
    lo = below;
    hi = upto;
    return true;
}

[[gnu::always_inline]] inline double kth_smallest_body(double* keys, std::uint64_t n, std::uint64_t k,
                                                       Watch* watch) {
    std::uint64_t lo = 0, hi = n;  // keys below lo are <= every key in [lo, hi) <= keys from hi
    int budget = 2 * std::bit_width(n) + 8;
    while (hi - lo > 24) {
        if (--budget < 0) {  // the pivots kept choosing badly: finish with the library's introselect
            std::nth_element(keys + lo, keys + k, keys + hi);
            return keys[k];
        }
        if (hi - lo > 2048 && narrow_by_sample(keys, lo, hi, k, watch)) continue;
        const double pivot = median_of_three(keys[lo], keys[lo + (hi - lo) / 2], keys[hi - 1]);
        const std::uint64_t below = partition(keys, lo, hi, [pivot](double x) { return x < pivot; }, watch);
        if (k < below) {
            hi = below;
            continue;
        }
        const std::uint64_t equal_end =
            partition(keys, below, hi, [pivot](double x) { return !(pivot < x); }, watch);
        if (k < equal_end) return pivot;
        lo = equal_end;
    }
    // A short range: the key whose rank covers k, found by counting (no
    // jumps on the data, unlike a sort of the few keys left).
    const std::uint64_t want = k - lo;
    for (std::uint64_t i = lo; i < hi; ++i) {
        std::uint64_t less = 0, not_greater = 0;
        for (std::uint64_t j = lo; j < hi; ++j) {
            less += keys[j] < keys[i];
            not_greater += !(keys[i] < keys[j]);
        }
        if (less <= want && want < not_greater) return keys[i];
    }
    return keys[k];  // unreachable: some key's rank covers k
}

}  // namespace

double kth_smallest(double* keys, std::uint64_t n, std::uint64_t k, Watch* watch) {
    return with_best_isa<kth_smallest_body>(keys, n, k, watch);
}

}  // namespace tessaron
