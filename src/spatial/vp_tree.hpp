// A static vantage-point tree: every node picks one of its points as vantage
// point and splits the others at the median of their distances to it, the
// nearer half (with the vantage point) to the left. Node bounds come from the
// triangle inequality, in the tree's own metric.
#pragma once

#include <cmath>
#include <span>
#include <vector>

#include "spatial/common.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

enum class VantageSelection : std::uint8_t { First, Random };

// Parses "first" or "random" (already lowercased; `given` for the message).
VantageSelection parse_selection(std::string_view lowered, std::string_view given);

class VPTree : public Searchable<VPTree> {
public:
    // From the rows of a two-dimensional array (copied); leaf_size 0 acts as 1.
    static VPTree from_ndarray(const NdArray& array, std::uint64_t leaf_size, DistanceMetric metric,
                               VantageSelection selection);

    // The built state as bytes (for pickling), and a tree from such bytes;
    // a payload that does not describe a sound tree is an Error.
    std::vector<std::uint8_t> state() const;
    static VPTree from_state(std::span<const std::uint8_t> bytes);

    // Geometry for the search skeleton (query.hpp). Distances run over the
    // query's length, which may be shorter than the points'.
    void check_query(std::size_t len) const;
    void check_leaf_scan(std::size_t) const {}
    template <DistanceMetric M>
    double bound(NodeId node, const double* q, std::size_t len) const {
        if (ranges_[node].count() == 0) return 0.0;
        return lower_bound(node, vantage_distance<M>(node, q, len));
    }
    template <DistanceMetric M>
    KnnStep knn_step(NodeId node, const double* q, std::size_t len, bool) const {
        if (ranges_[node].count() == 0) return {0.0, true};
        // One distance to the vantage point serves the bound and the order:
        // inside the threshold, left first (ties and NaN: right first).
        const double dv = vantage_distance<M>(node, q, len);
        return {lower_bound(node, dv), dv < shells_[node].threshold};
    }
    template <DistanceMetric M>
    double density_cut(NodeId node, const double* q, std::size_t len) const {
        return bound<M>(node, q, len);
    }
    template <DistanceMetric M>
    DensityBounds approx_bounds(NodeId node, const double* q, std::size_t len) const {
        const double dv = vantage_distance<M>(node, q, len);
        return {max_of(dv - shells_[node].max_dist, 0.0), dv + shells_[node].max_dist};
    }
    double span(NodeId node) const { return shells_[node].max_dist - shells_[node].min_dist; }

private:
    // The distances from a node's vantage point to its other points: their
    // median (the split) and their range. All 0.0 for a node of one point.
    struct Shell {
        double threshold, min_dist, max_dist;
    };

    template <DistanceMetric M>
    double vantage_distance(NodeId node, const double* q, std::size_t len) const {
        return distance<M>(q, vantage_.data() + node * points_.dim, len);
    }
    // max(max(dv - max_dist, min_dist - dv), 0.0) bounds the node's other
    // points (max passing over NaN); the vantage point itself is at dv.
    // Rounding of the distances is covered by lowering the bound by a sliver,
    // as in the ball tree.
    double lower_bound(NodeId node, double dv) const {
        const Shell& s = shells_[node];
        const double others = max_of(max_of(dv - s.max_dist, s.min_dist - dv), 0.0);
        const double lower = min_of(dv, others);
        const double slack = (dv + s.max_dist) * 0x1p-40;
        return std::isfinite(slack) && lower > 0.0 ? max_of(lower - slack, 0.0) : lower;
    }

    std::vector<Shell> shells_;
    std::vector<double> vantage_;  // per node, the coordinates of its vantage point
    VantageSelection selection_ = VantageSelection::First;

    friend class VPBuilder;
};

}  // namespace tessaron::spatial
