#include <algorithm>
#include <bit>
#include <utility>

#include "spatial/median_split.hpp"

namespace tessaron::spatial {
namespace {

double median_of_three(double a, double b, double c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Moves the keys of [lo, hi) for which keep(key) holds to the front, without
// data-dependent branches; returns the end of that group.
template <class Keep>
std::uint64_t partition(double* keys, std::uint64_t lo, std::uint64_t hi, Keep keep) {
    std::uint64_t m = lo;
    for (std::uint64_t j = lo; j < hi; ++j) {
        const double key = keys[j];
        keys[j] = keys[m];
        keys[m] = key;
        m += keep(key);
    }
    return m;
}

}  // namespace

double kth_smallest(double* keys, std::uint64_t n, std::uint64_t k) {
    std::uint64_t lo = 0, hi = n;  // keys below lo are <= every key in [lo, hi) <= keys from hi
    int budget = 2 * std::bit_width(n) + 8;
    while (hi - lo > 24) {
        if (--budget < 0) {  // the pivots kept choosing badly: finish with the library's introselect
            std::nth_element(keys + lo, keys + k, keys + hi);
            return keys[k];
        }
        const double pivot = median_of_three(keys[lo], keys[lo + (hi - lo) / 2], keys[hi - 1]);
        const std::uint64_t below = partition(keys, lo, hi, [pivot](double x) { return x < pivot; });
        if (k < below) {
            hi = below;
            continue;
        }
        const std::uint64_t equal_end =
            partition(keys, below, hi, [pivot](double x) { return !(pivot < x); });
        if (k < equal_end) return pivot;
        lo = equal_end;
    }
    // A short range: insertion sort puts every key in place.
    for (std::uint64_t i = lo + 1; i < hi; ++i) {
        const double key = keys[i];
        std::uint64_t j = i;
        for (; j > lo && key < keys[j - 1]; --j) keys[j] = keys[j - 1];
        keys[j] = key;
    }
    return keys[k];
}

}  // namespace tessaron::spatial
