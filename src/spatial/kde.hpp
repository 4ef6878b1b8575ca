// The normalised kernel density estimate over a tree's points: weighted sums
// of a kernel profile within a guaranteed tolerance. A node is replaced by
// the midpoint of what its points can contribute (its weight times the
// kernel at its nearest and farthest possible distance) only when half that
// spread fits its share of the tolerance; everything else is summed point
// by point.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "spatial/batch.hpp"
#include "spatial/kde_kernels.hpp"
#include "spatial/kde_leaf.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

// Each point's weight, by storage slot, and each node's total; both empty
// when every point weighs 1.
struct DensityWeights {
    std::vector<double> by_slot, by_node;
    double total = 0.0;

    // From the weights of the tree's points by input row (nullptr: all 1).
    template <SearchTree Tree>
    static DensityWeights of(const Tree& t, const double* by_row) {
        DensityWeights w;
        const PointSet& p = t.points();
        w.total = static_cast<double>(p.n);
        if (!by_row) return w;
        w.by_slot.resize(p.n);
        for (std::uint64_t slot = 0; slot < p.n; ++slot) w.by_slot[slot] = by_row[p.rows[slot]];
        // Children follow their parent, so a reverse sweep meets them first.
        const std::uint64_t nodes = t.node_count();
        w.by_node.resize(nodes);
        for (std::uint64_t node = nodes; node-- > 0;) {
            const SlotRange r = t.range(node);
            double sum = 0.0;
            if (r.is_leaf())
                for (std::uint64_t slot = r.start; slot < r.end; ++slot) sum += w.by_slot[slot];
            else
                sum = w.by_node[node + 1] + w.by_node[r.right];
            w.by_node[node] = sum;
        }
        w.total = nodes ? w.by_node[0] : 0.0;
        return w;
    }
    bool weighted() const { return !by_slot.empty(); }
};

// Below this relative share nothing is worth summing: with a relative
// tolerance of 0, nodes whose whole spread is under it of the density
// (far below the sum's own rounding) are still taken at their midpoint.
constexpr double kKdeFloorTolerance = 1e-15;

// Nodes of at most this many points are summed point by point without
// visiting their children.
constexpr std::uint64_t kKdeScanWhole = 512;

// The density options: bandwidth, kernel and the tolerance, absolute (on
// the sum of weighted kernel values) and relative.
struct KdeOptions {
    double h = 1.0;
    KdeKernel kernel = KdeKernel::Gaussian;
    double atol = 0.0, rtol = 0.0;
};

namespace walk {

template <class M, KdeKernel K, bool Weighted, class Tree>
class KdeWalk {
public:
    KdeWalk(const Tree& t, const double* q, const KdeOptions& o, const DensityWeights& w, double u0, Watch& watch)
        : t_(t), q_(q), len_(t.points().dim), h_(o.h), u0_(u0), w_(w),
          rtol_(std::max(o.rtol, kKdeFloorTolerance)), watch_(watch) {
        // Terms measured relative to the kernel at u0: the absolute
        // tolerance likewise (inf where it outgrows every term).
        atol_ = o.atol == 0.0 ? 0.0 : std::exp(std::log(o.atol) - kde_log_scale(o.kernel, u0));
        per_weight_ = 1.0 / w.total;
    }

    // The sum of weighted kernel values at the query.
    double run() {
        if (t_.node_count() == 0) return 0.0;
        const Range root = range(0);
        lower_ = root.kmin * weight(0);
        visit(0, root);
        return sum_;
    }

private:
    struct Range {
        double kmax, kmin;
    };

    double weight(NodeId node) const {
        if constexpr (Weighted) return w_.by_node[node];
        else return static_cast<double>(t_.range(node).count());
    }
    double kernel(double d) const { return kde_kernel<K>(d / h_, u0_); }

    // The kernel's largest and smallest value over the node's points: at
    // their nearest and farthest possible distance. No point is nearer than
    // the nearest point of all (u0's), so the largest is at most 1.
    Range range(NodeId node) const {
        const auto [lo, hi] = t_.template near_far<M>(node, q_, len_);
        const double near = lo >= u0_ * h_ ? lo : u0_ * h_;  // also for a NaN lo
        return {kernel(near), hi < HUGE_VAL ? kernel(hi) : 0.0};
    }

    void visit(NodeId node, const Range& r) {
        watch_.tick(len_);
        const double w = weight(node);
        const double half_spread = 0.5 * (r.kmax - r.kmin);
        // Its share of the tolerance: weight / total of what the whole sum may
        // miss, with the relative part taken of a lower bound of the sum.
        if (half_spread == 0.0 || half_spread <= (atol_ + rtol_ * lower_) * per_weight_) {
            sum_ += w * (0.5 * (r.kmax + r.kmin));
            return;  // lower_ already holds w * kmin
        }
        const SlotRange s = t_.range(node);
        // A small node is summed whole: its points are contiguous, and
        // bounding its children costs more than the terms they could spare.
        if (s.is_leaf() || s.count() <= kKdeScanWhole) {
            const double exact = scan(s);
            sum_ += exact;
            lower_ += exact - w * r.kmin;
            return;
        }
        const NodeId left = node + 1, right = s.right;
        const Range rl = range(left), rr = range(right);
        lower_ += rl.kmin * weight(left) + rr.kmin * weight(right) - w * r.kmin;
        if (rl.kmax >= rr.kmax) {
            visit(left, rl);
            visit(right, rr);
        } else {
            visit(right, rr);
            visit(left, rl);
        }
    }

    double scan(const SlotRange& s) {
        watch_.tick(s.count() * len_);
        const PointSet& p = t_.points();
        t_.check_leaf_scan(len_);
        if constexpr (M::id == DistanceMetric::Euclidean) {  // four points at a time
            return kernel_leaf_sum({K, h_, u0_}, q_, p.at(s.start), s.count(), len_,
                                   Weighted ? w_.by_slot.data() + s.start : nullptr);
        } else {
            const M metric = t_.template metric<M>();
            double sum = 0.0;
            for (std::uint64_t slot = s.start; slot < s.end; ++slot) {
                const double k = kernel(metric.distance(q_, p.at(slot), len_));
                if constexpr (Weighted) sum += w_.by_slot[slot] * k;
                else sum += k;
            }
            return sum;
        }
    }

    const Tree& t_;
    const double* q_;
    std::size_t len_;
    double h_, u0_;
    const DensityWeights& w_;
    double rtol_, atol_ = 0.0, per_weight_ = 0.0;
    Watch& watch_;
    double sum_ = 0.0, lower_ = 0.0;
};

}  // namespace walk

// The log of the sum of weighted kernel values at q (of the tree's
// dimension; -inf where it is 0), within the options' tolerance. Where the
// terms of an unbounded kernel all underflow, they are summed again relative
// to the nearest point's, and its log added back.
template <SearchTree Tree>
double kde_log_sum(const Tree& t, const double* q, const KdeOptions& o, const DensityWeights& w, Watch& watch) {
    const std::uint64_t dim = t.points().dim;
    double out = 0.0;
    with_metric(t.points().metric, [&]<class M>() {
        const SearchedQuery<M> sq(t, q, dim);
        with_kde_kernel(o.kernel, [&]<KdeKernel K>() {
            auto sum_from = [&](double u0) {
                if (w.weighted()) return walk::KdeWalk<M, K, true, Tree>(t, sq.get(), o, w, u0, watch).run();
                return walk::KdeWalk<M, K, false, Tree>(t, sq.get(), o, w, u0, watch).run();
            };
            const double sum = sum_from(0.0);
            if (!unbounded(K) || sum >= w.total * 0x1p-900 || t.points().n == 0) {
                out = std::log(sum);
                return;
            }
            CandidateHeap nearest(1);
            search_knn(t, q, dim, nearest, watch);
            const double u0 = nearest.worst() / o.h;
            out = std::log(sum_from(u0)) + kde_log_scale(K, u0);
        });
    });
    return out;
}

// out[i] = kde_log_sum at query i plus `shift` (the log of the kernel's
// constant over the total weight), for m queries of the tree's dimension.
template <SearchTree Tree>
void kde_batch(const Tree& t, const double* queries, std::uint64_t m, const KdeOptions& o, const DensityWeights& w,
               double shift, double* out, const Workers& workers) {
    const std::uint64_t dim = t.points().dim;
    each_query(queries, m, dim, workers, no_state, [&](std::uint64_t i, NoState, Watch& watch) {
        out[i] = kde_log_sum(t, queries + i * dim, o, w, watch) + shift;
    });
}

}  // namespace tessaron::spatial
