// The search skeleton shared by every tree: k-nearest, radius and kernel
// density walks, written once and instantiated per tree and per metric. A
// tree supplies only its geometry, as the SearchTree concept below states.

#pragma once

#include <algorithm>
#include <concepts>
#include <limits>
#include <tuple>
#include <span>
#include <vector>

#include "spatial/bound_arithmetic.hpp"
#include "spatial/candidate_heap.hpp"
#include "spatial/checks.hpp"
#include "spatial/group_kernels.hpp"
#include "spatial/kernels.hpp"
#include "spatial/parallel.hpp"
#include "spatial/point_set.hpp"

namespace tessaron::spatial {

struct DensityBounds {
    double lo, hi;
};

struct NoCarry {};

template <class Carry>
struct Step {
    double bound;     // as bound(); for k-nearest only when asked for
    bool left_first;  // internal nodes only
    [[no_unique_address]] Carry left{}, right{};
};

// What a tree gives the walks, for metric M:
//   bound: a lower bound on the distance from q to the node's points;
//   knn_step: that bound (when need_bound) and, for an internal node,
//       whether to visit the left child first, with what each child carries;
//   radius_step: the bound, with what each child carries;
//   density_cut, approx_bounds: the node's distance range for the density;
//   span: the node's size, for the approximation criteria.
//   far_bound: an upper bound on the distance, as the metric computes it,
//       from q to every point of the node; inf or NaN where none is known;
//   near_far: bound and far_bound together, from one measurement;
//   box_bounds: lower and upper bounds on the distance from any point of a
//       box of finite coordinates to any of the node's points, which are
//       all finite.
template <class T, class M>
concept TreeGeometry = requires(const T& t, NodeId node, const double* q, std::size_t len, bool need_bound,
                                const typename T::Carry& carry) {
    { t.template bound<M>(node, q, len) } -> std::same_as<double>;
    { t.template knn_step<M>(node, q, len, need_bound, carry) } -> std::same_as<Step<typename T::Carry>>;
    { t.template radius_step<M>(node, q, len, carry) } -> std::same_as<Step<typename T::Carry>>;
    { t.template density_cut<M>(node, q, len) } -> std::same_as<double>;
    { t.template approx_bounds<M>(node, q, len) } -> std::same_as<DensityBounds>;
    { t.template far_bound<M>(node, q, len) } -> std::same_as<double>;
    { t.template near_far<M>(node, q, len) } -> std::same_as<DensityBounds>;
    { t.template box_bounds<M>(node, q, q, len) } -> std::same_as<DensityBounds>;
};

template <class T, class... M>
constexpr bool geometry_for_each(std::tuple<M...>*) {
    return (TreeGeometry<T, M> && ...);
}

// A tree the walks can search: its points and node ranges (nodes in
// pre-order, the first child next to its parent), the checks of a query's
// length (check_query before the walk, check_leaf_scan before the first
// point distance), the Carry a visit hands down (Searchable's NoCarry unless
// the tree names its own) and its geometry under every metric.
template <class T>
concept SearchTree = requires(const T& t, NodeId node, const double* q, std::size_t len) {
    typename T::Carry;
    { t.points() } -> std::same_as<const PointSet&>;
    { t.range(node) } -> std::same_as<SlotRange>;
    { t.span(node) } -> std::same_as<double>;
    t.check_query(len);
    t.check_leaf_scan(len);
    { t.root_carry(q, len) } -> std::same_as<typename T::Carry>;
} && geometry_for_each<T>(static_cast<Metrics*>(nullptr));

// Below this, a node's largest possible kernel value counts as nothing.
constexpr double kDensityCut = 1e-10;

// What a radius search takes: the radius, the largest square its root
// admits, the first storage slot to search (a pair search visits each pair
// once, from its earlier slot), and whether the distances found are wanted
// (group searches pass 0.0 otherwise, sparing the roots).
struct Within {
    double radius;
    double squared;
    std::uint64_t first_slot = 0;
    bool distances = true;
    explicit Within(double r, std::uint64_t first = 0)
        : radius(r), squared(largest_square_within(r)), first_slot(first) {}
};

// Radii, nondecreasing, for counting: bins[j] gets one for each point whose
// distance d has radii[j - 1] < d <= radii[j] (bin 0: d <= radii[0]); a
// point beyond the largest radius, or at a NaN distance, counts nowhere.
// A node counts whole, with no scan, when one bin takes all its points.
// `squared` (Euclidean only, and there needed by the group counts) holds
// for each radius r the largest s whose square root is at most r, so that a
// squared distance finds its bin as its root would, without the root.
struct CountBins {
    const double* radii;
    std::uint64_t size;
    std::int64_t* bins;
    const double* squared = nullptr;
    // The first bin from `from` whose radius is at least d (size if none).
    std::uint64_t bin_of(double d, std::uint64_t from) const {
        return static_cast<std::uint64_t>(std::lower_bound(radii + from, radii + size, d) - radii);
    }
};

// A group of query points searched together: their bounding box (finite
// coordinates), how many there are, the points coordinate by coordinate,
// and room for the pairs a leaf search finds (hit_room of them, at least
// `size`, and three places more for the scan's scratch).
struct QueryGroup {
    const double *lo, *hi;
    std::uint64_t size;
    GroupColumns columns;
    KeyHit* hits;
    std::uint64_t hit_room;
};

// Lays out a group's members for the walks: columns and room for hits.
struct GroupScratch {
    std::vector<double> columns;
    std::vector<KeyHit> hits;
    QueryGroup group(const double* lo, const double* hi, const std::vector<const double*>& members,
                     std::uint64_t dim) {
        constexpr std::uint64_t kHitRoom = 4096;
        const std::uint64_t room = std::max<std::uint64_t>(kHitRoom, members.size());
        hits.resize(room + 3);  // the scan's scratch beyond the room
        return {lo, hi, members.size(), lay_out_columns(members.data(), members.size(), dim, columns), hits.data(),
                room};
    }
};

namespace walk {

// Calls f.template operator()<K>(columns) with the group kernels' keys K for
// metric M and the group's columns as K reads them: a periodic metric's are
// the named metric's keys over wrapped differences, its periods beside the
// columns.
template <class M, class Tree, class F>
decltype(auto) with_group_keys(const Tree& t, const GroupColumns& columns, F&& f) {
    if constexpr (M::id == DistanceMetric::Periodic) {
        const M m = t.template metric<M>();
        GroupColumns wrapped = columns;
        wrapped.period = m.period;
        wrapped.period_stride = m.stride;
        if (m.kind == M::Kind::Sum) return f.template operator()<Wrapped<metrics::Manhattan>>(wrapped);
        if (m.kind == M::Kind::Largest) return f.template operator()<Wrapped<metrics::Chebyshev>>(wrapped);
        if (m.kind != M::Kind::Squares) panic("group searches need a metric with group kernels");
        return f.template operator()<Wrapped<metrics::Euclidean>>(wrapped);
    } else {
        return f.template operator()<M>(columns);
    }
}

// Each slot of a leaf in order, after the leaf's check of the query length.
template <class Tree, class Each>
[[gnu::always_inline]] inline void leaf_slots(const Tree& t, const SlotRange& r, std::size_t len, Each&& each) {
    if (r.count() == 0) return;
    t.check_leaf_scan(len);
    for (std::uint64_t slot = r.start; slot < r.end; ++slot) each(slot);
}

// Each point of a leaf, in slot order: each(distance to q, input row).
template <class M, class Tree, class Each>
[[gnu::always_inline]] inline void scan_leaf(const Tree& t, const SlotRange& r, const double* q,
                                             std::size_t len, Each&& each) {
    const PointSet& p = t.points();
    const M metric = M::of(p.params);
    leaf_slots(t, r, len, [&](std::uint64_t slot) { each(metric.distance(q, p.at(slot), len), p.rows[slot]); });
}

// A leaf's offers to a full heap under the Euclidean metric: a point whose
// squared distance exceeds worst^2 (raised by a sliver above its rounding)
// has a distance of at least `worst`, which the heap would refuse, so its
// square root is never taken. Other points are offered as usual.
template <class Tree>
void offer_leaf_euclidean(const Tree& t, const SlotRange& r, const double* q, std::size_t len,
                          CandidateHeap& heap) {
    const PointSet& p = t.points();
    auto limit = [](double worst) {
        // Below 2^-500 the square could lose its relative precision, so
        // nothing is skipped there; nor for a NaN worst, which any number
        // displaces.
        return worst >= 0x1p-500 ? worst * worst * (1.0 + 0x1p-50) : std::numeric_limits<double>::infinity();
    };
    double worst = heap.worst(), squared_limit = limit(worst);
    leaf_slots(t, r, len, [&](std::uint64_t slot) {
        const double s = squared_distance(q, p.at(slot), len);
        if (s > squared_limit) return;
        const double d = std::sqrt(s);
        if (CandidateHeap::ranks_before(d, worst)) {
            heap.offer(d, p.rows[slot]);
            worst = heap.worst();
            squared_limit = limit(worst);
        }
    });
}

// A leaf's offers to a full heap under a metric that measures by a sum and
// its root (Minkowski, haversine): as for the Euclidean one, a point whose
// sum exceeds the metric's limit for the worst candidate is refused
// without its root.
template <class M, class Tree>
void offer_leaf_reduced(const Tree& t, const SlotRange& r, const double* q, std::size_t len,
                        CandidateHeap& heap) {
    const PointSet& p = t.points();
    const M m = t.template metric<M>();
    double worst = heap.worst(), limit = m.reduced_limit(worst);
    leaf_slots(t, r, len, [&](std::uint64_t slot) {
        const double s = m.reduced(q, p.at(slot), len);
        if (s > limit) return;
        const double d = m.root(s);
        if (CandidateHeap::ranks_before(d, worst)) {
            heap.offer(d, p.rows[slot]);
            worst = heap.worst();
            limit = m.reduced_limit(worst);
        }
    });
}

// With Bounded, only points at a distance of at most `bound` are offered
// and nodes whose lower bound exceeds it are cut (a NaN distance is never
// within it).
template <class M, bool Bounded, class Tree>
void knn(const Tree& t, NodeId node, const double* q, std::size_t len, CandidateHeap& heap, double bound,
         const typename Tree::Carry& carry, Watch& watch) {
    const bool full = heap.full();
    const auto step = t.template knn_step<M>(node, q, len, full || Bounded, carry);
    // The heap takes only strictly nearer points, so a node whose bound
    // equals the worst candidate cannot contribute either (a NaN on either
    // side never cuts).
    if (full && step.bound >= heap.worst()) return;
    if constexpr (Bounded)
        if (step.bound > bound) return;
    const SlotRange r = t.range(node);
    if (r.is_leaf()) {
        watch.tick(r.count() * len);
        // A full heap's worst candidate is within the bound.
        if constexpr (M::id == DistanceMetric::Euclidean) {
            if (full) return offer_leaf_euclidean(t, r, q, len, heap);
        } else if constexpr (M::kReducedScan) {
            if (full) return offer_leaf_reduced<M>(t, r, q, len, heap);
        }
        scan_leaf<M>(t, r, q, len, [&](double d, std::uint64_t row) {
            if (!Bounded || d <= bound) heap.offer(d, row);
        });
        return;
    }
    if (step.left_first) {
        knn<M, Bounded>(t, node + 1, q, len, heap, bound, step.left, watch);
        knn<M, Bounded>(t, r.right, q, len, heap, bound, step.right, watch);
    } else {
        knn<M, Bounded>(t, r.right, q, len, heap, bound, step.right, watch);
        knn<M, Bounded>(t, node + 1, q, len, heap, bound, step.left, watch);
    }
}

// found(distance, row) for each point within w.radius, in walk order,
// among the slots from w.first_slot on. The Euclidean distance's root is
// taken only for the points found: their squares are compared with the
// largest square the radius admits.
template <class M, class Tree, class Found>
void radius(const Tree& t, NodeId node, const double* q, std::size_t len, const Within& w, Found& found,
            const typename Tree::Carry& carry, Watch& watch) {
    const auto step = t.template radius_step<M>(node, q, len, carry);
    if (step.bound > w.radius) return;
    const SlotRange r = t.range(node);
    if (r.end <= w.first_slot) return;
    if (r.is_leaf()) {
        watch.tick(r.count() * len);
        const SlotRange from{std::max(r.start, w.first_slot), r.end, 0};
        if constexpr (M::id == DistanceMetric::Euclidean) {
            const PointSet& p = t.points();
            leaf_slots(t, from, len, [&](std::uint64_t slot) {
                const double s = squared_distance(q, p.at(slot), len);
                if (s <= w.squared) found(std::sqrt(s), p.rows[slot]);
            });
        } else if constexpr (M::kReducedScan) {
            // Sums beyond the radius's limit are out without their roots.
            const PointSet& p = t.points();
            const M m = t.template metric<M>();
            const double limit = m.reduced_limit(w.radius);
            leaf_slots(t, from, len, [&](std::uint64_t slot) {
                const double s = m.reduced(q, p.at(slot), len);
                if (s > limit) return;
                if (const double d = m.root(s); d <= w.radius) found(d, p.rows[slot]);
            });
        } else {
            scan_leaf<M>(t, from, q, len, [&](double d, std::uint64_t row) {
                if (d <= w.radius) found(d, row);
            });
        }
        return;
    }
    radius<M>(t, node + 1, q, len, w, found, step.left, watch);
    radius<M>(t, r.right, q, len, w, found, step.right, watch);
}

// `first`: no bin before it can hold a point of this node.
template <class M, class Tree>
void count(const Tree& t, NodeId node, const double* q, std::size_t len, const CountBins& c, std::uint64_t first,
           const typename Tree::Carry& carry, Watch& watch) {
    const auto step = t.template radius_step<M>(node, q, len, carry);
    if (step.bound > 0.0) first = c.bin_of(step.bound, first);  // d >= bound > every radius before
    if (first == c.size) return;
    const SlotRange r = t.range(node);
    const double far = t.template far_bound<M>(node, q, len);
    if (far < HUGE_VAL && far <= c.radii[first]) {  // every point in the first bin
        c.bins[first] += static_cast<std::int64_t>(r.count());
        return;
    }
    if (r.is_leaf()) {
        watch.tick(r.count() * len);
        scan_leaf<M>(t, r, q, len, [&](double d, std::uint64_t) {
            if (d == d) {
                const std::uint64_t j = c.bin_of(d, first);
                if (j < c.size) ++c.bins[j];
            }
        });
        return;
    }
    count<M>(t, node + 1, q, len, c, first, step.left, watch);
    count<M>(t, r.right, q, len, c, first, step.right, watch);
}

// count for every point of a group at once: a node whose box bounds put
// all its pairs with the group in one bin counts them whole.
template <class M, class Tree>
void count_group(const Tree& t, NodeId node, const QueryGroup& g, std::size_t len, const CountBins& c,
                 std::uint64_t first, Watch& watch) {
    const DensityBounds b = t.template box_bounds<M>(node, g.lo, g.hi, len);
    if (b.lo > 0.0) first = c.bin_of(b.lo, first);
    if (first == c.size) return;
    const SlotRange r = t.range(node);
    if (b.hi < HUGE_VAL && b.hi <= c.radii[first]) {
        c.bins[first] += static_cast<std::int64_t>(r.count() * g.size);
        return;
    }
    if (r.is_leaf()) {
        watch.tick(r.count() * len * g.size);
        // Every distance is at most b.hi, so no bin past its bin is met:
        // a point's bin is `first` plus the thresholds below it up to there.
        const std::uint64_t last = b.hi < HUGE_VAL ? c.bin_of(b.hi, first) : c.size;
        const std::uint64_t end = std::min(last, c.size);
        if (r.count() == 0) return;
        t.check_leaf_scan(len);
        with_group_keys<M>(t, g.columns, [&]<class K>(const GroupColumns& columns) {
            const double* thresholds = K::id == DistanceMetric::Euclidean ? c.squared : c.radii;
            bin_keys<K>(columns, t.points().at(r.start), r.count(), thresholds + first, end - first, end < c.size,
                        c.bins + first);
        });
        return;
    }
    count_group<M>(t, node + 1, g, len, c, first, watch);
    count_group<M>(t, r.right, g, len, c, first, watch);
}

// found(member, distance, row) for each pair of a group member and a point
// of the tree within w.radius, among the slots from w.first_slot on. With
// members_from (the members being the points of slots members_from,
// members_from + 1, ...), a member meets only points in later slots.
template <class M, class Tree, class Found>
void group_within(const Tree& t, NodeId node, const QueryGroup& g, std::size_t len, const Within& w,
                  std::uint64_t members_from, Found& found, Watch& watch) {
    const SlotRange r = t.range(node);
    if (r.end <= w.first_slot) return;
    if (t.template box_bounds<M>(node, g.lo, g.hi, len).lo > w.radius) return;
    if (!r.is_leaf()) {
        group_within<M>(t, node + 1, g, len, w, members_from, found, watch);
        group_within<M>(t, r.right, g, len, w, members_from, found, watch);
        return;
    }
    watch.tick(r.count() * len * g.size);
    const PointSet& p = t.points();
    // Members meet only points in later slots than theirs: none before
    // members_from.
    const std::uint64_t own = members_from == std::uint64_t(-1) ? 0 : members_from;
    const std::uint64_t start = std::max({r.start, w.first_slot, own});
    if (start >= r.end) return;
    t.check_leaf_scan(len);
    const std::uint64_t chunk = g.hit_room / g.size;  // points whose pairs the room holds
    for (std::uint64_t from = start; from < r.end; from += chunk) {
        const std::uint64_t count = std::min(chunk, r.end - from);
        const std::uint64_t limits_from = members_from == std::uint64_t(-1) ? g.size : from - members_from;
        bool squares = false;
        const std::uint64_t hits = with_group_keys<M>(t, g.columns, [&]<class K>(const GroupColumns& columns) {
            squares = K::id == DistanceMetric::Euclidean;
            return keys_within<K>(columns, p.at(from), count, squares ? w.squared : w.radius, limits_from, g.hits);
        });
        for (std::uint64_t h = 0; h < hits; ++h) {
            const KeyHit& hit = g.hits[h];
            const double d = !w.distances ? 0.0 : squares ? std::sqrt(hit.key) : hit.key;
            found(hit.member, d, p.rows[from + hit.point]);
        }
    }
}

// The node-level density procedure; contributions are added to `sum` one by
// one in visiting order.
template <class M, KernelType K, class Tree>
void density(const Tree& t, NodeId node, const double* q, std::size_t len, double h,
             const ApproxCriterion& criterion, double& sum, Watch& watch) {
    watch.tick(len);
    // A NaN bound (inf - inf, say) neither cuts nor approximates a node.
    const double u = t.template density_cut<M>(node, q, len) / h;
    if (u == u) {
        if constexpr (K != KernelType::Gaussian)
            if (!(u < 1.0)) return;
        if constexpr (K != KernelType::Uniform)
            if (kernel_value<K>(u) < kDensityCut) return;
    }
    const SlotRange r = t.range(node);
    if (r.is_leaf()) {
        watch.tick(r.count() * len);
        scan_leaf<M>(t, r, q, len, [&](double d, std::uint64_t) { sum += kernel_value<K>(d / h); });
        return;
    }
    if (criterion.approximates(r.count(), t.span(node))) {
        const DensityBounds b = t.template approx_bounds<M>(node, q, len);
        if (b.lo == b.lo && b.hi == b.hi) {
            sum += 0.5 * (kernel_value<K>(b.lo / h) + kernel_value<K>(b.hi / h)) *
                   static_cast<double>(r.count());
            return;
        }
    }
    density<M, K>(t, node + 1, q, len, h, criterion, sum, watch);
    density<M, K>(t, r.right, q, len, h, criterion, sum, watch);
}

}  // namespace walk

// The query as metric M searches it: a periodic metric's wrapped into its
// box (kept here: on the stack for up to 16 coordinates), others as given.
template <class M>
class SearchedQuery {
public:
    template <class Tree>
    SearchedQuery(const Tree& t, const double* q, std::size_t len) : at_(q) {
        if constexpr (M::id == DistanceMetric::Periodic) {
            double* out = small_;
            if (len > std::size(small_)) {
                large_.resize(len);
                out = large_.data();
            }
            t.template metric<M>().wrap_query(q, len, out);
            at_ = out;
        }
    }
    SearchedQuery(const SearchedQuery&) = delete;
    SearchedQuery& operator=(const SearchedQuery&) = delete;
    const double* get() const { return at_; }

private:
    const double* at_;
    double small_[16];
    std::vector<double> large_;
};

// One query each, its length already checked: the nearest candidates into
// an empty heap (with room for at most n), the rows within `radius` appended
// to `out` in walk order, and the density at q. The watch is told of the
// points scanned (and, in densities, where nodes may be approximated without
// a scan, of every node), which costs a k-nearest or radius search nothing
// measurable; a batch also tells it of each query.
// A k-nearest search may be bounded: only points within `bound` are
// candidates (inf: no bound, NaN distances included as usual).
template <SearchTree Tree>
void search_knn(const Tree& t, const double* q, std::size_t len, CandidateHeap& heap, Watch& watch,
                double bound = std::numeric_limits<double>::infinity()) {
    with_metric(t.points().metric, [&]<class M>() {
        const SearchedQuery<M> sq(t, q, len);
        const double* x = sq.get();
        if (bound < std::numeric_limits<double>::infinity())
            walk::knn<M, true>(t, 0, x, len, heap, bound, t.root_carry(x, len), watch);
        else
            walk::knn<M, false>(t, 0, x, len, heap, bound, t.root_carry(x, len), watch);
    });
}

// found(distance, row) for every point within `radius`, in walk order.
template <SearchTree Tree, class Found>
void search_radius(const Tree& t, const double* q, std::size_t len, const Within& w, Found&& found, Watch& watch) {
    with_metric(t.points().metric, [&]<class M>() {
        const SearchedQuery<M> sq(t, q, len);
        walk::radius<M>(t, 0, sq.get(), len, w, found, t.root_carry(sq.get(), len), watch);
    });
}

// Adds, per bin of `c`, the points whose distance to q falls in it.
template <SearchTree Tree>
void count_within(const Tree& t, const double* q, std::size_t len, const CountBins& c, Watch& watch) {
    with_metric(t.points().metric, [&]<class M>() {
        const SearchedQuery<M> sq(t, q, len);
        walk::count<M>(t, 0, sq.get(), len, c, 0, t.root_carry(sq.get(), len), watch);
    });
}

// The same for a group of query points with finite coordinates, on a tree
// that allows group searches (under the Euclidean metric c.squared is
// needed).
template <SearchTree Tree>
void count_group_within(const Tree& t, const QueryGroup& g, const CountBins& c, Watch& watch) {
    if ((t.points().metric == DistanceMetric::Euclidean || t.points().metric == DistanceMetric::Periodic) &&
        !c.squared)
        panic("group counts by squares need the largest square within each radius");
    with_metric(t.points().metric, [&]<class M>() {
        if constexpr (M::kGroupKeys)
            walk::count_group<M>(t, 0, g, t.points().dim, c, 0, watch);
        else
            panic("group searches need a metric with group kernels");
    });
}

// The same for a group of query points with finite coordinates, on a tree
// that allows group searches (members_from: see walk::group_within; none
// is std::uint64_t(-1)).
template <SearchTree Tree, class Found>
void search_group_within(const Tree& t, const QueryGroup& g, const Within& w, std::uint64_t members_from,
                         Found&& found, Watch& watch) {
    with_metric(t.points().metric, [&]<class M>() {
        if constexpr (M::kGroupKeys)
            walk::group_within<M>(t, 0, g, t.points().dim, w, members_from, found, watch);
        else
            panic("group searches need a metric with group kernels");
    });
}

template <SearchTree Tree>
double density_at(const Tree& t, const double* q, double h, KernelType kernel, const ApproxCriterion& criterion,
                  Watch& watch) {
    double sum = 0.0;
    with_metric(t.points().metric, [&]<class M>() {
        const SearchedQuery<M> sq(t, q, t.points().dim);
        with_kernel(kernel, [&]<KernelType K>() {
            walk::density<M, K>(t, 0, sq.get(), t.points().dim, h, criterion, sum, watch);
        });
    });
    return sum;
}

// The input rows of the k nearest points, nearest first.
template <SearchTree Tree>
std::vector<std::uint64_t> query_knn(const Tree& t, std::span<const double> q, std::uint64_t k, Watch& watch) {
    const PointSet& p = t.points();
    if (k == 0 || p.n == 0) return {};
    t.check_query(q.size());
    CandidateHeap heap(std::min(k, p.n));  // more room than points could never fill
    search_knn(t, q.data(), q.size(), heap, watch);
    return heap.rows_ascending();
}

// The input rows of the points within `radius` (inclusive), in walk order.
template <SearchTree Tree>
std::vector<std::uint64_t> query_radius(const Tree& t, std::span<const double> q, double radius, Watch& watch) {
    t.check_query(q.size());
    std::vector<std::uint64_t> out;
    search_radius(t, q.data(), q.size(), Within(radius), [&](double, std::uint64_t row) { out.push_back(row); },
                  watch);
    return out;
}

// What every tree shares: its points, its node ranges and the queries, as
// members (`class KDTree : public Searchable<KDTree>`).
template <class Tree>
class Searchable {
public:
    using Carry = NoCarry;
    NoCarry root_carry(const double*, std::size_t) const { return {}; }

    const PointSet& points() const { return points_; }
    SlotRange range(NodeId node) const { return ranges_[node]; }
    std::uint64_t node_count() const { return ranges_.size(); }
    const NodeRanges& node_ranges() const { return ranges_; }
    // The leaf size the tree was built with (0 acting as 1).
    std::uint64_t leaf_size() const { return leaf_size_; }
    // Whether no coordinate is NaN or infinite (measured at build and load).
    bool finite_points() const { return finite_points_; }
    // Whether the pair searches may search a leaf's points as one group:
    // finite points, and a metric with group kernels.
    bool group_searches() const {
        return finite_points_ && with_metric(points_.metric, [&]<class M>() { return metric<M>().group_keys(); });
    }
    // The tree's metric M with its parameters.
    template <class M>
    M metric() const {
        return M::of(points_.params);
    }

    // Radius search needs the bound alone.
    template <class M>
    Step<NoCarry> radius_step(NodeId node, const double* q, std::size_t len, NoCarry) const {
        return {self().template bound<M>(node, q, len), true};
    }

    std::vector<std::uint64_t> query_knn(std::span<const double> q, std::uint64_t k, Watch& watch) const {
        return spatial::query_knn(self(), q, k, watch);
    }
    std::vector<std::uint64_t> query_radius(std::span<const double> q, double radius, Watch& watch) const {
        return spatial::query_radius(self(), q, radius, watch);
    }

protected:
    PointSet points_;
    NodeRanges ranges_;
    std::uint64_t leaf_size_ = 0;
    bool finite_points_ = false;

private:
    const Tree& self() const { return static_cast<const Tree&>(*this); }
};

}  // namespace tessaron::spatial
