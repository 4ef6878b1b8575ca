// The data-parallel steps of the median-split build, each compiled for the
// best instruction set the CPU has: one node's move into its two halves and
// the bounding box of a block of points (the selection of the median key is
// the core's kth_smallest).
#pragma once

#include <cstdint>

#include "array/kth_smallest.hpp"
#include "spatial/parallel.hpp"

namespace tessaron::spatial {

// One node's move: its `count` points (coords, rows) go to (to_coords,
// to_rows) so that the first `half` are the smaller ones along `split` and
// position `half` holds one at the median: points below it first, then those
// equal to it, then those above, each group in input order (`keys` holds the
// split coordinates, contiguous; it may be to_coords' storage, as it is read
// before any point moves). Then boxes[0, 2 dim) and boxes[2 dim,
// 4 dim) receive the lows and highs of the two halves. No step branches on
// the data, and the loops run compiled for the best instruction set.
// Rows are 32- or 64-bit input row numbers (see IndexArray).
template <class Row>
struct SplitBlock {
    const double* coords;
    const Row* rows;
    const double* keys;
    double* to_coords;
    Row* to_rows;
    double* boxes;
    std::uint64_t count, dim, half, split;
    double median;
    Watch* watch = nullptr;  // ticked as the points move
};
void split_block(const SplitBlock<std::uint32_t>& block);
void split_block(const SplitBlock<std::uint64_t>& block);

// The same split done in place, into the same order: the points below the
// median move forward within coords and rows, the others wait in
// (aside_coords, aside_rows), which have room for them (count - below),
// equal ones first (`equal` of them), and then follow. Boxes as split_block
// gives them.
template <class Row>
struct InPlaceSplit {
    double* coords;
    Row* rows;
    double* aside_coords;
    Row* aside_rows;
    double* boxes;
    std::uint64_t count, dim, half, split, below, equal;
    double median;
    Watch* watch = nullptr;  // ticked as the points move
};
void split_in_place(const InPlaceSplit<std::uint32_t>& block);
void split_in_place(const InPlaceSplit<std::uint64_t>& block);

// lo (box[0, dim)) and hi (box[dim, 2 dim)) of `count` contiguous points
// (NaN coordinates passed over; +inf and -inf when there are none).
void measure_box(const double* points, std::uint64_t count, std::uint64_t dim, double* box,
                 Watch* watch = nullptr);

}  // namespace tessaron::spatial
