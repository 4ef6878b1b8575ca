// The build shared by the KD-tree and the ball tree: each node's slot range
// is split at the median coordinate of its widest dimension, nodes appended
// in pre-order. The tree summarises each node through two callbacks. The
// coordinates move with their rows, so every scan of a node reads one
// contiguous block, and each split is stable: below the median, equal to it,
// above it, each group in its present order.
//
// Memory: a subtree of at most a quarter of the points is built by moving
// its points between their own place and a second buffer of that size (a
// node at an odd depth below the subtree's root finds its points in the
// buffer, and a leaf there is copied back). The few nodes above those
// subtrees split in place, with the keys and then the points that do not
// stay below the median held aside for the moment. So a build needs a
// quarter of the points' size beside them, not twice their size.
#pragma once

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "array/buffer.hpp"
#include "spatial/parallel.hpp"
#include "spatial/point_set.hpp"
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
// Row: the width of the point set's rows (std::uint32_t or std::uint64_t).
template <class Row, class OnNode, class OnSplit>
class MedianSplit {
public:
    MedianSplit(PointSet& points, Row* rows, std::uint64_t leaf_size, OnNode on_node, OnSplit on_split,
                Watch* watch)
        : p_(points),
          rows_(rows),
          leaf_size_(std::max<std::uint64_t>(leaf_size, 1)),  // a one-point range cannot split
          on_node_(std::move(on_node)),
          on_split_(std::move(on_split)),
          watch_(watch),
          ranges_(std::max(p_.n, node_estimate(p_.n, leaf_size_))) {}

    // Builds the whole tree (the root is node 0) and returns its ranges.
    NodeRanges build() && {
        ranges_.reserve(node_estimate(p_.n, leaf_size_));
        // Small trees move every node through the second buffer.
        subtree_limit_ = p_.n <= kSmallTree ? p_.n : p_.n / 4 + 1;
        if (subtree_limit_ < p_.n)  // room for the root's keys and, unless many are equal, its points held aside
            scratch(std::max(p_.n * sizeof(double), (p_.n - median_left_count(p_.n)) * row_bytes()));
        std::vector<double> box(2 * p_.dim);
        measure_box(p_.coords.data(), p_.n, p_.dim, box.data(), watch_);
        build_node(0, p_.n, box.data(), 0, Subtree{});
        return std::move(ranges_);
    }

private:
    static constexpr std::uint64_t kSmallTree = 1 << 16;

    // The subtree whose points move through the second buffer (none yet
    // above it): its root's first slot and depth.
    struct Subtree {
        bool active = false;
        std::uint64_t start = 0, depth = 0;
    };

    NodeId build_node(std::uint64_t start, std::uint64_t end, const double* box, std::uint64_t depth,
                      Subtree sub) {
        const std::uint64_t dim = p_.dim;
        std::uint64_t split = 0;  // the first strictly widest dimension; 0 when none is wider than 0
        double widest = 0.0;
        for (std::uint64_t d = 0; d < dim; ++d)
            if (box[dim + d] - box[d] > widest) {
                widest = box[dim + d] - box[d];
                split = d;
            }
        const std::uint64_t count = end - start;
        if (!sub.active && count <= subtree_limit_) sub = {true, start, depth};
        const bool odd = sub.active && (depth - sub.depth) % 2 == 1;
        // The slot's place in the second buffer (taken only once the subtrees begin).
        const std::uint64_t at = start - sub.start;
        double* other_coords = nullptr;
        Row* other_rows = nullptr;
        if (sub.active) {
            std::byte* second = second_buffer();
            other_coords = reinterpret_cast<double*>(second) + at * dim;
            other_rows = reinterpret_cast<Row*>(second + subtree_limit_ * dim * sizeof(double)) + at;
        }
        double* coords = odd ? other_coords : p_.coords.data() + start * dim;
        Row* rows = odd ? other_rows : rows_ + start;
        const NodeId id = ranges_.push(start, end);
        on_node_(id, start, end, static_cast<const double*>(coords), box, box + dim);
        if (watch_ && count >= kWatchedNode) watch_->check();
        if (count <= leaf_size_ || dim == 0) {  // no dimension: every distance is 0
            if (odd) {
                std::copy_n(coords, count * dim, p_.coords.data() + start * dim);
                std::copy_n(rows, count, rows_ + start);
            }
            return id;
        }

        const std::uint64_t half = median_left_count(count);
        if (child_boxes_.size() <= depth) child_boxes_.resize(depth + 1);
        child_boxes_[depth].resize(4 * dim);
        // The buffer stays put while deeper levels are added (moving a vector keeps it).
        double* boxes = child_boxes_[depth].data();  // left box, then right box
        double median;
        if (sub.active) {
            // The split coordinates are gathered into the destination block,
            // which is free until the points move there (the move reads them first).
            double* to_coords = odd ? p_.coords.data() + start * dim : other_coords;
            Row* to_rows = odd ? rows_ + start : other_rows;
            double* keys = to_coords;
            gather_keys(coords, count, split, keys);
            median = kth_smallest(keys, count, half, watch_);
            split_block(SplitBlock<Row>{coords, rows, keys, to_coords, to_rows, boxes, count, dim, half, split, median,
                                        watch_});
        } else {
            median = split_in_place_of(coords, rows, count, split, half, boxes);
        }
        on_split_(id, split, median);
        build_node(start, start + half, boxes, depth + 1, sub);
        const NodeId right = build_node(start + half, end, boxes + 2 * dim, depth + 1, sub);
        ranges_.set_right(id, right);
        return id;
    }

    // keys[j] = the split coordinate of point j.
    void gather_keys(const double* coords, std::uint64_t count, std::uint64_t split, double* keys) const {
        in_watched_blocks(0, count, p_.dim, watch_, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t j = from; j < to; ++j) {
                keys[j] = coords[j * p_.dim + split];
                // The selection compares every coordinate; NaN has no order.
                if (std::isnan(keys[j])) panic("called `Option::unwrap()` on a `None` value");
            }
        });
    }

    // The split of a node too large for the second buffer (see
    // split_in_place): its keys, and then the points that do not stay below
    // the median, are held aside only for the moment. Returns the median.
    double split_in_place_of(double* coords, Row* rows, std::uint64_t count, std::uint64_t split,
                             std::uint64_t half, double* boxes) {
        const std::uint64_t dim = p_.dim;
        std::uint64_t below = 0, equal = 0;
        double* keys = reinterpret_cast<double*>(scratch(count * sizeof(double)));
        gather_keys(coords, count, split, keys);
        const double median = kth_smallest(keys, count, half, watch_);
        in_watched_blocks(0, count, 1, watch_, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t j = from; j < to; ++j) {
                below += keys[j] < median;
                equal += keys[j] == median;
            }
        });
        const std::uint64_t aside = count - below;
        std::byte* held = scratch(aside * row_bytes());
        split_in_place(InPlaceSplit<Row>{coords, rows, reinterpret_cast<double*>(held),
                                         reinterpret_cast<Row*>(held + aside * dim * sizeof(double)), boxes, count,
                                         dim, half, split, below, equal, median, watch_});
        return median;
    }

    // One scratch block serves the build, written before it is read (so left
    // uninitialised): the keys and then the points held aside at the top
    // splits, and the second buffer of the subtrees. It is replaced by a
    // larger one when a split needs more (many equal keys), and cut down to
    // the second buffer when a subtree begins (see second_buffer).
    std::byte* scratch(std::uint64_t bytes) {
        if (bytes > scratch_bytes_) {
            scratch_ = ScratchArray<std::byte>(0);  // the old block goes first
            scratch_ = ScratchArray<std::byte>(bytes);
            scratch_bytes_ = bytes;
        }
        return scratch_.data();
    }
    std::uint64_t row_bytes() const { return p_.dim * sizeof(double) + sizeof(Row); }
    // The second buffer: subtree_limit_ points' coordinates, then their rows.
    std::byte* second_buffer() {
        const std::uint64_t bytes = subtree_limit_ * row_bytes();
        if (scratch_bytes_ > bytes) {
            scratch_.shrink_to(bytes);
            scratch_bytes_ = bytes;
        }
        return scratch(bytes);
    }

    PointSet& p_;
    Row* rows_;  // the point set's rows
    std::uint64_t leaf_size_;
    OnNode on_node_;
    OnSplit on_split_;
    Watch* watch_;
    std::uint64_t subtree_limit_ = 0;  // the most points of a subtree built through the second buffer
    ScratchArray<std::byte> scratch_{0};
    std::uint64_t scratch_bytes_ = 0;
    std::vector<std::vector<double>> child_boxes_;  // per depth, reused
    NodeRanges ranges_;
};

// The build at the width of the point set's rows.
template <class OnNode, class OnSplit>
NodeRanges median_split(PointSet& points, std::uint64_t leaf_size, OnNode on_node, OnSplit on_split,
                        Watch* watch) {
    return points.rows.visit([&]<class Row>(std::vector<Row>& rows) {
        return MedianSplit<Row, OnNode, OnSplit>(points, rows.data(), leaf_size, std::move(on_node),
                                                 std::move(on_split), watch)
            .build();
    });
}

}  // namespace tessaron::spatial
