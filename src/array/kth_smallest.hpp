// Selection: the value a full ascending sort would put at a given position,
// without sorting. Shared by the statistics and the trees' median splits.
#pragma once

#include <cstdint>

#include "array/watch.hpp"

namespace tessaron {

// The value a full ascending sort of keys[0, n) would put at position k
// (keys are reordered on the way; none may be NaN). Quickselect with
// branch-free partitions (a split of random data is a coin toss for a branch
// predictor), handing over to std::nth_element if the pivots keep choosing badly.
// Long passes tick the watch, if any.
double kth_smallest(double* keys, std::uint64_t n, std::uint64_t k, Watch* watch = nullptr);

}  // namespace tessaron
