#include "spatial/vp_tree.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "random/generator.hpp"
#include "spatial/median_split.hpp"
#include "spatial/serial.hpp"

namespace tessaron::spatial {

// Where the other points of a node split, from their distances to the
// vantage point (none of it depends on their order): the distance a full
// ascending sort puts at position m (NaN when m passes the numbers), how many
// distances are below and equal to it, and the threshold: that distance when
// the count is odd, else its mean with the largest distance before it.
struct SplitPoint {
    double median, threshold;
    std::uint64_t below, equal, numbers;
};

// `keys` has room for the count distances (its contents are scratch).
SplitPoint split_point(std::span<const double> dist, double* keys, std::uint64_t m, Watch* watch) {
    SplitPoint s{};
    in_watched_blocks(0, dist.size(), 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t j = from; j < to; ++j)
            if (!std::isnan(dist[j])) keys[s.numbers++] = dist[j];
    });
    s.median = m < s.numbers ? kth_smallest(keys, s.numbers, m, watch) : std::numeric_limits<double>::quiet_NaN();
    double largest_below = -std::numeric_limits<double>::infinity();
    in_watched_blocks(0, dist.size(), 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t j = from; j < to; ++j) {
            const double d = dist[j];
            s.below += d < s.median;
            s.equal += d == s.median;
            // Selections, not a jump (they become max instructions): half the
            // distances are below the median, at random.
            const double below_only = d < s.median ? d : -std::numeric_limits<double>::infinity();
            largest_below = below_only > largest_below ? below_only : largest_below;
        }
    });
    if (dist.size() % 2 == 1) {
        s.threshold = s.median;
        return s;
    }
    // The largest distance before position m: below ones, or the median
    // itself when equal ones also come before m.
    const double before = m > s.below ? s.median : largest_below;
    const double mean = (before + s.median) * 0.5;
    // Halved first where the sum overflows, so that the threshold stays
    // between the two distances.
    s.threshold = std::isinf(mean) && std::isfinite(before) && std::isfinite(s.median)
                      ? before * 0.5 + s.median * 0.5
                      : mean;
    return s;
}

// Builds the node arrays over a point set still in input order (slots read
// through `rows`, of the point set's width Row); the coordinates are put into
// storage order at the end.
template <class Row>
class VPBuilder {
public:
    VPBuilder(VPTree& t, Row* rows, std::uint64_t leaf_size, Watch* watch)
        : t_(t), p_(t.points_), rows_of_slots_(rows), leaf_size_(std::max<std::uint64_t>(leaf_size, 1)),
          watch_(watch) {}

    void build() {
        const std::uint64_t nodes = node_estimate(p_.n, leaf_size_);
        t_.ranges_ = NodeRanges(std::max(p_.n, nodes));
        t_.ranges_.reserve(nodes);
        reserve_on_huge_pages(t_.shells_, nodes);
        reserve_on_huge_pages(t_.vantage_, nodes * p_.dim);
        with_metric(p_.metric, [&]<class M>() { build_node<M>(0, p_.n); });
        release_scratch();
        into_storage_order();
    }

private:
    const double* point(std::uint64_t slot) const { return p_.coords.data() + rows_of_slots_[slot] * p_.dim; }

    // Slot i takes the coordinates of input row rows[i], in place: each
    // cycle of the permutation is followed once, a bit per slot marking
    // those done.
    void into_storage_order() {
        switch (p_.dim) {  // copies of a known length stay inline
            case 1: return permute_points<1>();
            case 2: return permute_points<2>();
            case 3: return permute_points<3>();
            default: return permute_points<0>();
        }
    }
    template <std::uint64_t D>
    void permute_points() {
        const std::uint64_t dim = D ? D : p_.dim;
        Watch none;
        Watch& watch = watch_ ? *watch_ : none;
        std::vector<bool> done(p_.n, false);
        std::vector<double> held(dim);
        double* c = p_.coords.data();
        for (std::uint64_t first = 0; first < p_.n; ++first) {
            if (done[first]) continue;
            std::copy_n(c + first * dim, dim, held.data());
            std::uint64_t slot = first;
            for (;;) {
                watch.tick(dim);
                done[slot] = true;
                const std::uint64_t from = rows_of_slots_[slot];
                const double* source = from == first ? held.data() : c + from * dim;
                std::copy_n(source, dim, c + slot * dim);
                if (from == first) break;
                slot = from;
            }
        }
    }

    // Per-node scratch with room for `count` others: grown for a larger
    // node, and made anew, smaller, for a far smaller one, but never below an
    // eighth of the points, so that it shrinks with the top nodes only (each
    // new block costs its first touch).
    void scratch_for(std::uint64_t count) {
        const std::uint64_t floor = p_.n / 8;
        if (count <= room_ && room_ <= std::max(4 * count, floor)) return;
        release_scratch();
        room_ = std::max(count, floor);
        dist_ = ScratchArray<double>(room_);
        keys_ = ScratchArray<double>(room_);
        rows_ = ScratchArray<Row>(room_);
    }
    void release_scratch() {
        dist_ = ScratchArray<double>(0);
        keys_ = ScratchArray<double>(0);
        rows_ = ScratchArray<Row>(0);
        room_ = 0;
    }

    template <class M>
    NodeId build_node(std::uint64_t start, std::uint64_t end) {
        const std::uint64_t count = end - start, dim = p_.dim;
        if (watch_ && count >= kWatchedNode) watch_->check();
        if (count > 0) {
            std::uint64_t v = start;
            if (t_.selection_ == VantageSelection::Random) {
                Generator g = Generator::from_clock();
                v = static_cast<std::uint64_t>(
                    g.randint(static_cast<std::int64_t>(start), static_cast<std::int64_t>(end)));
            }
            std::swap(rows_of_slots_[start], rows_of_slots_[v]);
        }
        // The other points' distances to the vantage point.
        const double* vantage = count > 0 ? point(start) : nullptr;
        const std::uint64_t others = count > 0 ? count - 1 : 0;
        scratch_for(others);
        double* dist = dist_.data();
        double min_dist = std::numeric_limits<double>::infinity();
        double max_dist = -std::numeric_limits<double>::infinity();
        const M metric = M::of(p_.params);
        in_watched_blocks(0, others, dim, watch_, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t j = from; j < to; ++j) {
                const double d = metric.distance(point(start + 1 + j), vantage, dim);
                min_dist = d < min_dist ? d : min_dist;
                max_dist = d > max_dist ? d : max_dist;
                dist[j] = d;
            }
        });
        const NodeId id = t_.ranges_.push(start, end);
        t_.vantage_.insert(t_.vantage_.end(), vantage, vantage + (count > 0 ? dim : 0));
        if (count == 0) t_.vantage_.resize(t_.vantage_.size() + dim, 0.0);
        if (others == 0) {  // a node of one point (or none): nothing to split
            t_.shells_.push_back({0.0, 0.0, 0.0});
            return id;
        }
        const std::uint64_t m = others / 2;
        const double threshold = split_at_median(start + 1, others, m);
        t_.shells_.push_back({threshold, min_dist, max_dist});
        if (count <= leaf_size_) return id;
        build_node<M>(start, start + 1 + m);
        const NodeId right = build_node<M>(start + 1 + m, end);
        t_.ranges_.set_right(id, right);
        return id;
    }

    // Reorders the rows of the other points (from slot `first`, distances in
    // dist_) so that position m holds the distance a full ascending sort
    // would put there: smaller distances first, then those equal to it, then
    // greater ones, and NaN distances (which compare with nothing) last, each
    // group in its present order. Returns the threshold (see split_point).
    double split_at_median(std::uint64_t first, std::uint64_t count, std::uint64_t m) {
        const double* dist = dist_.data();
        Row* rows = rows_.data();
        const SplitPoint s = split_point({dist, count}, keys_.data(), m, watch_);
        const double median = s.median;
        std::uint64_t next[4] = {0, s.below, s.below + s.equal, s.numbers};  // below, equal, above, NaN
        in_watched_blocks(0, count, 1, watch_, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t j = from; j < to; ++j) {
                const double d = dist[j];
                // Branch-free: 0 below, 1 equal, 2 above, 3 NaN.
                const int group = int{d >= median} + int{d > median} + 3 * int{d != d};
                rows[next[group]++] = rows_of_slots_[first + j];
            }
        });
        std::copy_n(rows, count, rows_of_slots_ + first);
        return s.threshold;
    }

    VPTree& t_;
    PointSet& p_;
    Row* rows_of_slots_;  // the point set's rows
    std::uint64_t leaf_size_;
    Watch* watch_;
    ScratchArray<double> dist_{0}, keys_{0};
    ScratchArray<Row> rows_{0};
    std::uint64_t room_ = 0;  // what the scratch arrays hold
};

VPTree VPTree::from_points(PointSet points, std::uint64_t leaf_size, VantageSelection selection, Watch* watch) {
    check_metric_fits(points.metric, points.params, points.dim, false);
    check_points_in_box(points.coords.data(), points.n, points.dim, points.params);
    VPTree t;
    t.points_ = std::move(points);
    t.leaf_size_ = leaf_size;
    t.selection_ = selection;
    t.finite_points_ = t.points_.finite(watch);
    t.points_.rows.visit([&]<class Row>(std::vector<Row>& rows) { VPBuilder<Row>(t, rows.data(), leaf_size, watch).build(); });
    return t;
}

void VPTree::check_query(std::size_t len) const { check_query_length(len, points_.dim); }


namespace {
constexpr std::uint64_t kMagic = 0x3130305054545354ULL;
}

std::vector<std::uint8_t> VPTree::state() const {
    return write_state(kMagic, points_, ranges_, leaf_size_, [&](Writer& w) {
        w.u64(static_cast<std::uint64_t>(selection_));
        w.vec(vantage_);
        w.vec(shells_);
    });
}

void VPTree::derive_geometry() {
    const PointSet& p = points_;
    const std::uint64_t dim = p.dim;
    std::vector<double> dist, keys;
    with_metric(p.metric, [&]<class M>() {
        const M metric = M::of(p.params);
        for (NodeId i = 0; i < ranges_.size(); ++i) {
            const SlotRange r = ranges_[i];
            const double* v = vantage_.data() + i * dim;
            shells_[i] = {0.0, 0.0, 0.0};
            if (r.count() == 0) {
                if (!std::all_of(v, v + dim, [](double x) { return x == 0.0; }))
                    Reader::bad("an empty node has a vantage point");
                continue;
            }
            // The vantage point is one of the node's points, in the left
            // child's slots (a child's random vantage rule may have moved it
            // from the front); its first copy there is left out of the shell.
            const std::uint64_t others = r.count() - 1, m = others / 2;
            const std::uint64_t left_end = r.is_leaf() ? r.end : r.start + 1 + m;
            std::uint64_t own = r.start;
            while (own < left_end && std::memcmp(p.at(own), v, dim * sizeof(double)) != 0) ++own;
            if (own == left_end) Reader::bad("a vantage point is not one of its node's points");
            dist.clear();
            double min_dist = std::numeric_limits<double>::infinity();
            double max_dist = -std::numeric_limits<double>::infinity();
            for (std::uint64_t slot = r.start; slot < r.end; ++slot) {
                if (slot == own) continue;
                const double d = metric.distance(p.at(slot), v, dim);
                min_dist = d < min_dist ? d : min_dist;
                max_dist = d > max_dist ? d : max_dist;
                dist.push_back(d);
            }
            if (others == 0) continue;
            keys.resize(dist.size());
            const SplitPoint s = split_point(dist, keys.data(), m, nullptr);
            // The left child holds the m nearer others (NaN last), the right one the rest.
            if (!r.is_leaf())
                for (std::uint64_t slot = r.start, j = 0; slot < r.end; ++slot) {
                    if (slot == own) continue;
                    const double d = dist[j++];
                    if (slot < left_end ? CandidateHeap::ranks_before(s.median, d)
                                        : CandidateHeap::ranks_before(d, s.median))
                        Reader::bad("a node is not split at its median distance");
                }
            shells_[i] = {s.threshold, min_dist, max_dist};
        }
    });
}

VPTree VPTree::from_state(std::span<const std::uint8_t> bytes) {
    VPTree t;
    read_state(bytes, kMagic, "VPTree", t.points_, t.ranges_, t.leaf_size_, [](std::uint64_t count) { return 1 + (count - 1) / 2; },
               [&](Reader& r, std::uint64_t nodes, std::uint64_t dim) {
                   const std::uint64_t selection = r.u64();
                   if (selection > 1) Reader::bad("unknown vantage selection");
                   t.selection_ = static_cast<VantageSelection>(selection);
                   t.vantage_ = r.vec<double>(checked_product(nodes, dim));
                   t.shells_ = r.vec<Shell>(nodes);
               });
    t.derive_geometry();
    t.finite_points_ = t.points_.finite();
    return t;
}

}  // namespace tessaron::spatial
