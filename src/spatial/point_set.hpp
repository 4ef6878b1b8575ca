// What every tree stores: its own copy of the points (in storage order, with
// the input row of each slot) and the flat table of its nodes' slot ranges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "array/buffer.hpp"
#include "array/ndarray.hpp"
#include "spatial/index_array.hpp"
#include "spatial/metrics.hpp"
#include "spatial/parallel.hpp"

namespace tessaron::spatial {

// Room for n elements, on transparent huge pages where the system has them:
// a build writes its large arrays once, and takes a fault per 2 MiB, not 4 KiB.
template <class T>
void reserve_on_huge_pages(std::vector<T>& v, std::size_t n) {
    v.reserve(n);
    advise_huge_pages(v.data(), n * sizeof(T));
}

// The tree's own copy of the points and the permutation from storage slots
// to input rows. `coords` is in storage order (slot i holds input row
// rows[i]), so that a leaf's points are one contiguous run.
struct PointSet {
    std::vector<double> coords;
    IndexArray rows;  // storage slot -> input row
    std::uint64_t n = 0, dim = 0;
    DistanceMetric metric = DistanceMetric::Euclidean;
    MetricParams params;
    bool metric_as_object = false;  // named by an object (Python's Metric), not by its name

    // The watch (if any) is ticked as the coordinates are copied.
    static PointSet from_ndarray(const NdArray& array, DistanceMetric metric, Watch* watch = nullptr);
    // The points of n rows of dim coordinates given in row-major order.
    static PointSet from_coords(std::vector<double> coords, std::uint64_t n, std::uint64_t dim, DistanceMetric metric,
                                Watch* watch = nullptr);
    const double* at(std::uint64_t slot) const { return coords.data() + slot * dim; }
    // Whether every coordinate is finite (no NaN, no infinity).
    bool finite(Watch* watch = nullptr) const;
};

// A node's slot range [start, end) and its second child; the first child of
// an internal node is the next node (nodes are stored in pre-order), and
// right == 0 marks a leaf (the root is never a right child).
using NodeId = std::uint64_t;
struct SlotRange {
    std::uint64_t start, end;
    NodeId right;
    bool is_leaf() const { return right == 0; }
    std::uint64_t count() const { return end - start; }
};

// The slot ranges of a tree's nodes, by node id, packed as IndexArray packs.
class NodeRanges {
public:
    // For ranges over up to `largest` slots and as many nodes.
    explicit NodeRanges(std::uint64_t largest = 0) : v_(largest) {}
    std::uint64_t size() const { return v_.size() / 3; }
    SlotRange operator[](NodeId node) const { return {v_[3 * node], v_[3 * node + 1], v_[3 * node + 2]}; }
    NodeId push(std::uint64_t start, std::uint64_t end, NodeId right = 0) {
        v_.push_back(start);
        v_.push_back(end);
        v_.push_back(right);
        return size() - 1;
    }
    void set_right(NodeId node, NodeId right) { v_.set(3 * node + 2, right); }
    void reserve(std::uint64_t nodes) { v_.reserve(3 * nodes); }

private:
    IndexArray v_;
};

// Whether every one of n values is finite; whether one is infinite.
bool all_finite(const double* x, std::size_t n);
bool any_infinite(const double* x, std::size_t n);
bool any_nan(const double* x, std::size_t n);

}  // namespace tessaron::spatial
