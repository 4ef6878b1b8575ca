// A static vantage-point tree: every node picks one of its points as vantage
// point and splits the others at the median of their distances to it, the
// nearer half (with the vantage point) to the left. Node bounds come from the
// triangle inequality, in the tree's own metric.
#pragma once

#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "spatial/names.hpp"
#include "spatial/parallel.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

class VPTree : public Searchable<VPTree> {
public:
    // Over a point set of its own (PointSet::from_ndarray copies an array's
    // rows); leaf_size 0 acts as 1. `watch` (if given) is checked as the
    // build goes: an interrupt abandons it.
    static VPTree from_points(PointSet points, std::uint64_t leaf_size,
                               VantageSelection selection, Watch* watch = nullptr);

    // The built state as bytes (for pickling), and a tree from such bytes;
    // a payload that does not describe a sound tree is an Error.
    std::vector<std::uint8_t> state() const;
    static VPTree from_state(std::span<const std::uint8_t> bytes);

    // Geometry for the search skeleton (query.hpp).
    void check_query(std::size_t len) const;
    void check_leaf_scan(std::size_t) const {}
    // Handed down the walk: the distance to the node's vantage point when the
    // parent measured it already (a left child under First selection keeps
    // its parent's vantage point), and a floor for the node's bound. Every
    // ancestor's split confines the node's points to a shell around the
    // ancestor's vantage point; the farthest such shell from the query bounds
    // the distance to every point below, and so it cuts k-nearest and radius
    // searches sooner without changing their answers: only nodes none of
    // whose points could enter the answer are left. (The density walk keeps
    // the node's own bound: there the cut decides which terms are summed.)
    struct Carry {
        double floor = 0.0;
        double dv = 0.0;
        bool has_dv = false;
        bool floors = false;  // whether floors hold for this query (see root_carry)
    };
    // Floors rest on the triangle inequality between the query, the vantage
    // points and the points, which needs finite coordinates: Chebyshev passes
    // over a NaN difference (from NaN, or from inf - inf), which is then a
    // distance that ignores a coordinate. Otherwise the node's own bound alone
    // cuts.
    Carry root_carry(const double* q, std::size_t len) const {
        return {.floors = finite_points_ && all_finite(q, len)};
    }

    template <class M>
    double bound(NodeId node, const double* q, std::size_t len) const {
        if (ranges_[node].count() == 0) return 0.0;
        const double dv = vantage_distance<M>(node, q, len);
        return trusted<M>(dv, q, len) ? lower_bound(node, dv, metric<M>().absolute_slack()) : 0.0;
    }
    template <class M>
    Step<Carry> knn_step(NodeId node, const double* q, std::size_t len, bool, const Carry& in) const {
        return search_step<M>(node, q, len, in);
    }
    template <class M>
    Step<Carry> radius_step(NodeId node, const double* q, std::size_t len, const Carry& in) const {
        return search_step<M>(node, q, len, in);
    }
    template <class M>
    double density_cut(NodeId node, const double* q, std::size_t len) const {
        return bound<M>(node, q, len);
    }
    template <class M>
    DensityBounds approx_bounds(NodeId node, const double* q, std::size_t len) const {
        const double dv = vantage_distance<M>(node, q, len);
        if (!trusted<M>(dv, q, len)) return {std::numeric_limits<double>::quiet_NaN(), 0.0};  // not approximated
        return {max_of(dv - shells_[node].max_dist, 0.0), dv + shells_[node].max_dist};
    }
    // The vantage point's distance plus its shell's outer radius, raised by
    // the sliver (see lowered); inf where the bounds are not trusted.
    template <class M>
    double far_bound(NodeId node, const double* q, std::size_t len) const {
        if (ranges_[node].count() == 0) return HUGE_VAL;
        return far_from<M>(node, vantage_distance<M>(node, q, len), q, len);
    }
    // Both bounds from one distance to the vantage point.
    template <class M>
    DensityBounds near_far(NodeId node, const double* q, std::size_t len) const {
        if (ranges_[node].count() == 0) return {0.0, HUGE_VAL};
        const double dv = vantage_distance<M>(node, q, len);
        return {trusted<M>(dv, q, len) ? lower_bound(node, dv, metric<M>().absolute_slack()) : 0.0,
                far_from<M>(node, dv, q, len)};
    }
    // Between the node and a box of finite coordinates, over finite points:
    // from the vantage point's nearest and farthest distances to the box and
    // the shell, as the query bounds, with the slivers.
    template <class M>
    DensityBounds box_bounds(NodeId node, const double* lo, const double* hi, std::size_t len) const {
        if (ranges_[node].count() == 0) return {HUGE_VAL, HUGE_VAL};
        const double* v = vantage_.data() + node * points_.dim;
        const M m = metric<M>();
        const double near = m.box_distance(lo, hi, v, len), far = m.far_bound(lo, hi, v, len);
        if (near == HUGE_VAL) [[unlikely]]
            return {0.0, HUGE_VAL};
        const Shell& s = shells_[node];
        // The vantage point itself is at least `near` away; the others at
        // least their shell's gap to [near, far].
        const double gap = max_of(max_of(near - s.max_dist, s.min_dist != HUGE_VAL ? s.min_dist - far : 0.0), 0.0);
        const double upper = s.max_dist == 0.0 ? far : far + s.max_dist + rounding_sliver(far, s.max_dist);
        return {lowered(min_of(near, gap), max_of(far, near), s.max_dist, metric<M>().absolute_slack()), upper};
    }
    double span(NodeId node) const { return shells_[node].max_dist - shells_[node].min_dist; }

private:
    // The distances from a node's vantage point to its other points: their
    // median (the split) and their range. All 0.0 for a node of one point.
    struct Shell {
        double threshold, min_dist, max_dist;
    };

    // Whether bounds from the distance dv to a vantage point hold: the
    // triangle inequality needs finite points (see root_carry); a dv that
    // overflowed (the query has no infinite coordinate) says nothing of the
    // points; and a Chebyshev query with a NaN coordinate is measured without
    // it, while the shells were measured over every coordinate.
    template <class M>
    bool trusted(double dv, const double* q, std::size_t len) const {
        if (!finite_points_ || (dv == HUGE_VAL && !any_infinite(q, len))) return false;
        return M::id != DistanceMetric::Chebyshev || !any_nan(q, len);
    }

    template <class M>
    double vantage_distance(NodeId node, const double* q, std::size_t len) const {
        return metric<M>().distance(q, vantage_.data() + node * points_.dim, len);
    }
    // far_bound, given the distance dv from q to the node's vantage point.
    template <class M>
    double far_from(NodeId node, double dv, const double* q, std::size_t len) const {
        if (!trusted<M>(dv, q, len)) return HUGE_VAL;
        const double outer = shells_[node].max_dist;
        return outer == 0.0 ? dv : dv + outer + rounding_sliver(dv, outer) + metric<M>().absolute_slack();
    }
    // One distance to the vantage point serves the bound, the children's
    // floors and the order: inside the threshold, left first (ties and NaN:
    // right first).
    template <class M>
    Step<Carry> search_step(NodeId node, const double* q, std::size_t len, const Carry& in) const {
        if (ranges_[node].count() == 0) return {0.0, true};
        const double dv = in.has_dv ? in.dv : vantage_distance<M>(node, q, len);
        const bool holds = trusted<M>(dv, q, len);
        const double extra = metric<M>().absolute_slack();
        Step<Carry> step{holds ? lower_bound(node, dv, extra) : 0.0, true};
        if (in.floors) step.bound = max_of(step.bound, in.floor);
        if (ranges_[node].is_leaf()) return step;
        const Shell& s = shells_[node];
        step.left_first = dv < s.threshold;
        step.left = {in.floor, dv, selection_ == VantageSelection::First, in.floors};
        step.right = {in.floor, 0.0, false, in.floors};
        if (in.floors && holds) {
            // Left: the vantage point, and others no farther than the threshold;
            // right: points no nearer than the threshold, no farther than max_dist.
            const double left = min_of(dv, shell_gap(dv, s.min_dist, s.threshold));
            step.left.floor = max_of(in.floor, lowered(left, dv, s.max_dist, extra));
            step.right.floor = max_of(in.floor, lowered(shell_gap(dv, s.threshold, s.max_dist), dv, s.max_dist, extra));
        }
        return step;
    }

    // The node's other points lie in the shell from min_dist to max_dist
    // around the vantage point, which itself is at dv.
    double lower_bound(NodeId node, double dv, double extra_slack) const {
        const Shell& s = shells_[node];
        return lowered(min_of(dv, shell_gap(dv, s.min_dist, s.max_dist)), dv, s.max_dist, extra_slack);
    }
    // By the triangle inequality, no point whose distance to the vantage
    // point lies in [inner, outer] is nearer to the query than this:
    // max(max(dv - outer, inner - dv), 0.0), max passing over NaN. An
    // infinite inner distance between finite points has overflowed and says
    // nothing: the point may still be at a finite distance from the query.
    static double shell_gap(double dv, double inner, double outer) {
        return max_of(max_of(dv - outer, inner != HUGE_VAL ? inner - dv : 0.0), 0.0);
    }
    // Rounding of the distances is covered by lowering a bound by a sliver,
    // as in the ball tree, and by the metric's absolute slack. A shell of
    // width 0 around the vantage point holds copies of it, whose distance is
    // dv itself: no sliver.
    static double lowered(double bound, double dv, double max_dist, double extra_slack) {
        if (max_dist == 0.0) return bound;
        const double slack = rounding_sliver(dv, max_dist) + extra_slack;
        return std::isfinite(slack) && bound > 0.0 ? max_of(bound - slack, 0.0) : bound;
    }

    // After loading: vantage coordinates and shells measured again from the
    // stored points, as the build measures them; an Error unless each node's
    // points are split at their median distance.
    void derive_geometry();

    std::vector<Shell> shells_;
    std::vector<double> vantage_;  // per node, the coordinates of its vantage point
    VantageSelection selection_ = VantageSelection::First;

    template <class Row>
    friend class VPBuilder;
};

static_assert(SearchTree<VPTree>);

}  // namespace tessaron::spatial
