// A static ball tree: every node keeps the centroid of its points and the
// largest distance from it to one of them, in the tree's metric; internal
// nodes split at the median of their widest dimension, as in the KD-tree.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "spatial/parallel.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

class BallTree : public Searchable<BallTree> {
public:
    // Over a point set of its own (PointSet::from_ndarray copies an array's
    // rows); leaf_size 0 acts as 1. `watch` (if given) is checked as the
    // build goes: an interrupt abandons it.
    static BallTree from_points(PointSet points, std::uint64_t leaf_size,
                              Watch* watch = nullptr);

    // The built state as bytes (for pickling), and a tree from such bytes;
    // a payload that does not describe a sound tree is an Error.
    std::vector<std::uint8_t> state() const;
    static BallTree from_state(std::span<const std::uint8_t> bytes);

    // Geometry for the search skeleton (query.hpp).
    void check_query(std::size_t len) const;
    void check_leaf_scan(std::size_t) const {}
    // dc - r, not clamped (it may be negative). The triangle inequality makes
    // it a lower bound in exact arithmetic only: dc, r and a point's distance
    // are each rounded, so a point at exactly the cut distance could be lost.
    // The bound is lowered by a sliver far above those rounding errors; a
    // ball of radius 0 needs none, as its points are the centroid itself.
    // Where the bound cannot be trusted (see trusted), it is 0.
    template <class M>
    double bound(NodeId node, const double* q, std::size_t len) const {
        return bound_from<M>(node, centre_distance<M>(node, q, len), q, len);
    }
    // bound, given the distance dc from q to the node's centroid.
    template <class M>
    double bound_from(NodeId node, double dc, const double* q, std::size_t len) const {
        const double r = radius_[node];
        if (!trusted<M>(dc, q, len)) [[unlikely]]
            return 0.0;
        if (r == 0.0) return dc;
        const double slack = rounding_sliver(dc, r) + metric<M>().absolute_slack();
        return std::isfinite(slack) ? dc - r - slack : dc - r;
    }
    template <class M>
    Step<NoCarry> knn_step(NodeId node, const double* q, std::size_t len, bool, NoCarry) const {
        // The bound is always measured (the distance to the centroid is the
        // first step of a visit); the child with the nearer centroid goes first.
        const double lower = bound<M>(node, q, len);
        if (ranges_[node].is_leaf()) return {lower, true};
        return {lower, centre_distance<M>(node + 1, q, len) <=
                           centre_distance<M>(ranges_[node].right, q, len)};
    }
    template <class M>
    double density_cut(NodeId node, const double* q, std::size_t len) const {
        return std::max(bound<M>(node, q, len), 0.0);
    }
    template <class M>
    DensityBounds approx_bounds(NodeId node, const double* q, std::size_t len) const {
        const double dc = centre_distance<M>(node, q, len);
        if (!trusted<M>(dc, q, len)) [[unlikely]]  // not approximated
            return {std::numeric_limits<double>::quiet_NaN(), 0.0};
        return {std::max(dc - radius_[node], 0.0), dc + radius_[node]};
    }
    // dc + r, raised by the sliver (see bound); inf where untrusted.
    template <class M>
    double far_bound(NodeId node, const double* q, std::size_t len) const {
        return far_from<M>(node, centre_distance<M>(node, q, len), q, len);
    }
    template <class M>
    double far_from(NodeId node, double dc, const double* q, std::size_t len) const {
        const double r = radius_[node];
        if (!trusted<M>(dc, q, len)) [[unlikely]]
            return HUGE_VAL;
        return r == 0.0 ? dc : dc + r + rounding_sliver(dc, r) + metric<M>().absolute_slack();
    }
    // Both bounds from one distance to the centroid.
    template <class M>
    DensityBounds near_far(NodeId node, const double* q, std::size_t len) const {
        const double dc = centre_distance<M>(node, q, len);
        return {bound_from<M>(node, dc, q, len), far_from<M>(node, dc, q, len)};
    }
    // Between the node and a box of finite coordinates, over finite points:
    // the centroid's nearest and farthest distances to the box, less and
    // plus the radius, with the sliver.
    template <class M>
    DensityBounds box_bounds(NodeId node, const double* lo, const double* hi, std::size_t len) const {
        const double* c = centroids_.data() + node * points_.dim;
        const M m = metric<M>();
        const double near = m.box_distance(lo, hi, c, len), far = m.far_bound(lo, hi, c, len), r = radius_[node];
        if (near == HUGE_VAL) [[unlikely]]  // overflowed: says nothing
            return {0.0, HUGE_VAL};
        if (r == 0.0) return {near, far};
        return {near - r - rounding_sliver(near, r), far + r + rounding_sliver(far, r)};
    }
    double span(NodeId node) const { return 2.0 * radius_[node]; }

private:
    // Whether dc - r bounds the node's distances. An infinite dc says nothing
    // when it overflowed (the query has no infinite coordinate) or came from
    // infinite points; and Chebyshev, which passes over NaN differences (NaN
    // or inf - inf), gives no triangle inequality over points that are not
    // all finite. Elsewhere NaN and infinities make the bound NaN or -inf,
    // which cuts nothing.
    template <class M>
    bool trusted(double dc, const double* q, std::size_t len) const {
        if (dc == HUGE_VAL && (!finite_points_ || !any_infinite(q, len))) return false;
        return finite_points_ || M::id != DistanceMetric::Chebyshev;
    }

    template <class M>
    double centre_distance(NodeId node, const double* q, std::size_t len) const {
        return metric<M>().distance(q, centroids_.data() + node * points_.dim, len);
    }

    std::vector<double> centroids_;  // dim per node
    std::vector<double> radius_;
};

static_assert(SearchTree<BallTree>);

}  // namespace tessaron::spatial
