// A static k-d tree: every node keeps the bounding box of its points, and
// internal nodes split at the median of their widest dimension. Node bounds
// are the metric's box distances (metrics.hpp).
#pragma once

#include <span>
#include <vector>

#include "spatial/parallel.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

class KDTree : public Searchable<KDTree> {
public:
    // Over a point set of its own (PointSet::from_ndarray copies an array's
    // rows); leaf_size 0 acts as 1. `watch` (if given) is checked as the
    // build goes: an interrupt abandons it.
    static KDTree from_points(PointSet points, std::uint64_t leaf_size,
                              Watch* watch = nullptr);

    // The built state as bytes (for pickling), and a tree from such bytes;
    // a payload that does not describe a sound tree is an Error.
    std::vector<std::uint8_t> state() const;
    static KDTree from_state(std::span<const std::uint8_t> bytes);

    // Geometry for the search skeleton (query.hpp).
    void check_query(std::size_t len) const;
    void check_leaf_scan(std::size_t len) const;
    template <class M>
    double bound(NodeId node, const double* q, std::size_t) const {
        return metric<M>().box_distance(lo(node), hi(node), q, points_.dim);
    }
    template <class M>
    Step<NoCarry> knn_step(NodeId node, const double* q, std::size_t len, bool need_bound, NoCarry) const {
        // Nearer side first: the side of the split value the query is on.
        const double lower = need_bound ? bound<M>(node, q, len) : 0.0;
        const SlotRange r = ranges_[node];
        if (r.is_leaf()) return {lower, true};
        const std::uint64_t d = split_dim_[node];
        return {lower, q[d] <= split_value(node, r.right, d)};
    }
    template <class M>
    double density_cut(NodeId node, const double* q, std::size_t) const {
        return metric<M>().near_box_distance(lo(node), hi(node), q, points_.dim);
    }
    template <class M>
    DensityBounds approx_bounds(NodeId node, const double* q, std::size_t len) const {
        check_box(node);
        return {density_cut<M>(node, q, len),
                metric<M>().far_box_distance(lo(node), hi(node), q, points_.dim)};
    }
    template <class M>
    double far_bound(NodeId node, const double* q, std::size_t) const {
        return metric<M>().far_bound(lo(node), hi(node), q, points_.dim);
    }
    template <class M>
    DensityBounds near_far(NodeId node, const double* q, std::size_t len) const {
        return {bound<M>(node, q, len), far_bound<M>(node, q, len)};
    }
    template <class M>
    DensityBounds box_bounds(NodeId node, const double* blo, const double* bhi, std::size_t) const {
        const box::BoxPair pair{blo, bhi, lo(node), hi(node)};
        const M m = metric<M>();
        return {m.between_boxes(pair, points_.dim, false), m.between_boxes(pair, points_.dim, true)};
    }
    double span(NodeId node) const;

private:
    const double* lo(NodeId node) const { return boxes_.data() + node * 2 * points_.dim; }
    const double* hi(NodeId node) const { return lo(node) + points_.dim; }
    // The median a node split at: the smallest coordinate of its right
    // child along the split (the split dimension holds no NaN, so the
    // child's box has it), unless boxes were opened (see open_nan_dimensions).
    double split_value(NodeId node, NodeId right, std::uint64_t d) const {
        return split_values_.empty() ? lo(right)[d] : split_values_[node];
    }
    std::vector<double> every_split_value() const;  // per node, 0.0 for leaves
    void check_box(NodeId node) const;                        // the box must not be inverted
    // Under Chebyshev a point's distance passes over its NaN coordinates, so
    // a box must not bound a dimension in which one of its points is NaN.
    void open_nan_dimensions(Watch* watch = nullptr);
    // After loading: the boxes, split dimensions and values measured again
    // from the stored points, as the build measures them; an Error unless
    // every split puts the smaller coordinates left of the median.
    void derive_geometry();

    std::vector<double> boxes_;  // per node: dim lows, then dim highs
    IndexArray split_dim_;       // per node, 0 for leaves
    std::vector<double> split_values_;  // per node, only once boxes are opened
};

static_assert(SearchTree<KDTree>);

}  // namespace tessaron::spatial
