// Sorting for the order statistics: a stable least-significant-digit radix
// sort on order-preserving 64-bit keys, watchable pass by pass.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "array/watch.hpp"

namespace tessaron {

inline constexpr std::uint64_t kNaNKey = ~std::uint64_t{0};

// An unsigned key whose order is the order of the values: numbers ascending
// (-0.0 taken as +0.0, as "<" does not tell them apart), every NaN above them.
inline std::uint64_t order_key(double x) {
    if (x != x) return kNaNKey;
    const auto bits = std::bit_cast<std::uint64_t>(x == 0.0 ? 0.0 : x);
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return bits & sign ? ~bits : bits | sign;  // never kNaNKey: that would be a NaN
}

// The number whose order_key is `key` (+0.0 for a zero).
inline double from_order_key(std::uint64_t key) {
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return std::bit_cast<double>(key & sign ? key & ~sign : ~key);
}

// Stable radix sort of `items` by key(item), 11 bits per pass; a pass whose
// digit is the same for every key is skipped. The watch is ticked as items move.
template <class Item, class Key>
void radix_sort(std::vector<Item>& items, Key key, Watch* watch) {
    constexpr int kBits = 11, kPasses = (64 + kBits - 1) / kBits;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    const std::size_t n = items.size();
    std::vector<std::array<std::size_t, kBuckets>> counts(kPasses);
    in_watched_blocks(0, n, kPasses, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t i = from; i < to; ++i)
            for (int p = 0; p < kPasses; ++p) ++counts[p][(key(items[i]) >> (p * kBits)) & (kBuckets - 1)];
    });
    std::vector<Item> scratch;  // filled in watched blocks: zeroing much memory takes a while
    scratch.reserve(n);
    in_watched_blocks(0, n, 1, watch, [&](std::uint64_t, std::uint64_t to) { scratch.resize(to); });
    for (int p = 0; p < kPasses; ++p) {
        auto& count = counts[p];
        if (std::find(count.begin(), count.end(), n) != count.end()) continue;
        std::size_t start = 0;
        for (std::size_t& c : count) start += std::exchange(c, start);  // counts -> offsets
        in_watched_blocks(0, n, 4, watch, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to; ++i)
                scratch[count[(key(items[i]) >> (p * kBits)) & (kBuckets - 1)]++] = items[i];
        });
        items.swap(scratch);
    }
}

// x[0, n) (no NaN) sorted ascending; zeros come out as +0.0 in any order.
// Small data goes to std::sort; large data to the watched radix sort.
inline void sort_numbers(double* x, std::size_t n, Watch* watch) {
    if (n < (std::size_t{1} << 16)) {
        std::sort(x, x + n);
        return;
    }
    std::vector<std::uint64_t> keys;
    keys.reserve(n);
    in_watched_blocks(0, n, 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t i = from; i < to; ++i) keys.push_back(order_key(x[i]));
    });
    radix_sort(keys, [](std::uint64_t k) { return k; }, watch);
    in_watched_blocks(0, n, 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t i = from; i < to; ++i) x[i] = from_order_key(keys[i]);
    });
}

}  // namespace tessaron
