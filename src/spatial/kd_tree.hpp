// A static k-d tree: every node keeps the bounding box of its points, and
// internal nodes split at the median of their widest dimension. Node bounds
// are Euclidean box distances (box distances in L-infinity for Chebyshev,
// where the Euclidean one could exceed a point's true distance).
#pragma once

#include <span>
#include <vector>

#include "spatial/common.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

class KDTree : public Searchable<KDTree> {
public:
    // From the rows of a two-dimensional array (copied); leaf_size 0 acts as 1.
    static KDTree from_ndarray(const NdArray& array, std::uint64_t leaf_size, DistanceMetric metric);

    // The built state as bytes (for pickling), and a tree from such bytes;
    // a payload that does not describe a sound tree is an Error.
    std::vector<std::uint8_t> state() const;
    static KDTree from_state(std::span<const std::uint8_t> bytes);

    // Geometry for the search skeleton (query.hpp).
    void check_query(std::size_t len) const;
    void check_leaf_scan(std::size_t len) const;
    template <DistanceMetric M>
    double bound(NodeId node, const double* q, std::size_t) const {
        constexpr DistanceMetric box = M == DistanceMetric::Chebyshev ? M : DistanceMetric::Euclidean;
        return box_distance<box>(lo(node), hi(node), q, points_.dim);
    }
    template <DistanceMetric M>
    Step<NoCarry> knn_step(NodeId node, const double* q, std::size_t len, bool need_bound, NoCarry) const {
        // Nearer side first: the side of the split value the query is on.
        const double lower = need_bound ? bound<M>(node, q, len) : 0.0;
        if (ranges_[node].is_leaf()) return {lower, true};
        return {lower, q[split_dim_[node]] <= split_value_[node]};
    }
    template <DistanceMetric M>
    double density_cut(NodeId node, const double* q, std::size_t len) const {
        return bound<M>(node, q, len);
    }
    template <DistanceMetric M>
    DensityBounds approx_bounds(NodeId node, const double* q, std::size_t len) const {
        check_box(node);
        return M == DistanceMetric::Chebyshev ? DensityBounds{bound<M>(node, q, len), far_gap_max(node, q)}
                                              : DensityBounds{bound<M>(node, q, len), far_distance(node, q)};
    }
    double span(NodeId node) const;

private:
    const double* lo(NodeId node) const { return boxes_.data() + node * 2 * points_.dim; }
    const double* hi(NodeId node) const { return lo(node) + points_.dim; }
    double far_distance(NodeId node, const double* q) const;  // Euclidean, to the farthest corner
    double far_gap_max(NodeId node, const double* q) const;   // L-infinity, to the farthest corner
    void check_box(NodeId node) const;                        // the box must not be inverted

    std::vector<double> boxes_;  // per node: dim lows, then dim highs
    std::vector<std::uint64_t> split_dim_;
    std::vector<double> split_value_;
};

}  // namespace tessaron::spatial
