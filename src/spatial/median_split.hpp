// The build shared by the KD-tree and the ball tree: each node's slot range
// is split at the median coordinate of its widest dimension, nodes appended
// in pre-order. The tree summarises each node through two callbacks. The
// coordinates move with their rows, so every scan of a node reads one
// contiguous block: a node at an even depth finds its points in the point
// set, one at an odd depth in a second buffer of the same layout (each split
// writes its children into the other one), and a leaf at an odd depth is
// copied back, so that the point set ends in storage order.
#pragma once

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "array/buffer.hpp"
#include "spatial/common.hpp"
#include "spatial/parallel.hpp"
#include "spatial/select.hpp"

namespace tessaron::spatial {

// Nodes of a tree over n points: halving stops at ranges of at most
// leaf_size points, so there are fewer than 4n / leaf_size + 1.
inline std::uint64_t node_estimate(std::uint64_t n, std::uint64_t leaf_size) {
    return 4 * (n / std::max<std::uint64_t>(leaf_size, 1)) + 1;
}

// Builds look at their watch before each node of at least this many points
// (smaller ones take microseconds).
constexpr std::uint64_t kWatchedNode = 4096;

// The points of a node of `count` that go to its left child.
inline std::uint64_t median_left_count(std::uint64_t count) { return count / 2; }

// on_node(id, start, end, points, lo, hi): a new node over slots [start,
// end), whose coordinates are points[0, (end - start) * dim) for now, and
// whose per-dimension minimum and maximum coordinates (NaN passed over; +inf
// and -inf when empty) are lo[0..dim) and hi[0..dim). on_split(id, dim, value):
// the node was split along `dim` at the median coordinate `value`.
template <class OnNode, class OnSplit>
class MedianSplit {
public:
    MedianSplit(PointSet& points, std::uint64_t leaf_size, OnNode on_node, OnSplit on_split,
                Watch* watch = nullptr)
        : p_(points),
          leaf_size_(std::max<std::uint64_t>(leaf_size, 1)),  // a one-point range cannot split
          on_node_(std::move(on_node)),
          on_split_(std::move(on_split)),
          watch_(watch) {}

    // Builds the whole tree (the root is node 0) and returns its ranges.
    std::vector<SlotRange> build() && {
        ranges_.reserve(node_estimate(p_.n, leaf_size_));
        // Written before read, so left uninitialised.
        other_coords_ = ScratchArray<double>(p_.coords.size());
        other_rows_ = ScratchArray<std::uint64_t>(p_.rows.size());
        std::vector<double> box(2 * p_.dim);
        measure_box(p_.coords.data(), p_.n, p_.dim, box.data());
        build_node(0, p_.n, box.data(), 0);
        return std::move(ranges_);
    }

private:
    NodeId build_node(std::uint64_t start, std::uint64_t end, const double* box, std::uint64_t depth) {
        const std::uint64_t dim = p_.dim;
        std::uint64_t split = 0;  // the first strictly widest dimension; 0 when none is wider than 0
        double widest = 0.0;
        for (std::uint64_t d = 0; d < dim; ++d)
            if (box[dim + d] - box[d] > widest) {
                widest = box[dim + d] - box[d];
                split = d;
            }
        const bool odd = depth % 2 == 1;
        double* coords = (odd ? other_coords_.data() : p_.coords.data()) + start * dim;
        std::uint64_t* rows = (odd ? other_rows_.data() : p_.rows.data()) + start;
        const NodeId id = ranges_.size();
        ranges_.push_back({start, end, 0});
        on_node_(id, start, end, static_cast<const double*>(coords), box, box + dim);
        const std::uint64_t count = end - start;
        if (watch_ && count >= kWatchedNode) watch_->check();
        if (count <= leaf_size_ || dim == 0) {  // no dimension: every distance is 0
            if (odd) {
                std::copy_n(coords, count * dim, p_.coords.data() + start * dim);
                std::copy_n(rows, count, p_.rows.data() + start);
            }
            return id;
        }

        // The split coordinates are gathered into the destination block, which
        // is free until the points move there (the move reads them first).
        double* to_coords = (odd ? p_.coords.data() : other_coords_.data()) + start * dim;
        std::uint64_t* to_rows = (odd ? p_.rows.data() : other_rows_.data()) + start;
        double* keys = to_coords;
        for (std::uint64_t j = 0; j < count; ++j) {
            keys[j] = coords[j * dim + split];
            // The selection compares every coordinate; NaN has no order.
            if (std::isnan(keys[j])) panic("called `Option::unwrap()` on a `None` value");
        }
        const std::uint64_t half = median_left_count(count);
        const double median = kth_smallest(keys, count, half);
        if (child_boxes_.size() <= depth) child_boxes_.resize(depth + 1);
        child_boxes_[depth].resize(4 * dim);
        // The buffer stays put while deeper levels are added (moving a vector keeps it).
        double* boxes = child_boxes_[depth].data();  // left box, then right box
        split_block({coords, rows, keys, to_coords, to_rows, boxes, count, dim, half, split, median});
        on_split_(id, split, median);
        build_node(start, start + half, boxes, depth + 1);
        const NodeId right = build_node(start + half, end, boxes + 2 * dim, depth + 1);
        ranges_[id].right = right;
        return id;
    }

    PointSet& p_;
    std::uint64_t leaf_size_;
    OnNode on_node_;
    OnSplit on_split_;
    Watch* watch_;
    ScratchArray<double> other_coords_{0};  // the second buffer, for odd depths
    ScratchArray<std::uint64_t> other_rows_{0};
    std::vector<std::vector<double>> child_boxes_;  // per depth, reused
    std::vector<SlotRange> ranges_;
};

}  // namespace tessaron::spatial
