// Broadcasting: shapes aligned on their last dimension, missing leading
// dimensions and dimensions of length 1 repeated to match the other operand.
#pragma once

#include <optional>
#include <utility>

#include "array/shape.hpp"

namespace tessaron {

// The broadcast shape of A and B, or nothing when they are incompatible.
std::optional<Dims> broadcast_shape(const Dims& a, const Dims& b);

// Yields (offset into A, offset into B) for every element of the broadcast
// shape, in row-major order of the result.
class BroadcastIter {
public:
    // Over `shape` with the given per-dimension steps (0 where repeated).
    BroadcastIter(Dims shape, Dims step_a, Dims step_b);

    const Dims& shape() const { return shape_; }
    std::optional<std::pair<std::uint64_t, std::uint64_t>> next();

private:
    Dims shape_, index_;
    // Per result dimension, the step in A and in B (0 where repeated).
    Dims step_a_, step_b_;
    std::uint64_t off_a_ = 0, off_b_ = 0;
    bool done_ = false;
};

// A broadcast split for fast loops: the innermost run (as long as merging
// contiguous dimensions makes it) and an iterator over the starts of the runs.
struct BroadcastPlan {
    std::uint64_t run_length, run_step_a, run_step_b;
    BroadcastIter runs;
};
// `shape` is the broadcast shape of a and b, without zero-length dimensions.
BroadcastPlan plan_broadcast(const Dims& a, const Dims& b, const Dims& shape);

// Per result dimension, the stride of an operand of shape `dims` within the
// broadcast shape of `ndim` dimensions: 0 for repeated and missing dimensions.
Dims broadcast_strides(const Dims& dims, std::size_t ndim);

}  // namespace tessaron
