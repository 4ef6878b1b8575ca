#include "spatial/vp_tree.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "random/generator.hpp"
#include "spatial/median_split.hpp"

namespace tessaron::spatial {

VantageSelection parse_selection(std::string_view lowered, std::string_view given) {
    if (lowered == "first") return VantageSelection::First;
    if (lowered == "random") return VantageSelection::Random;
    fail("Unknown vantage point selection method '" + std::string(given) +
         "'. Valid options: 'first', 'random'");
}

// Builds the node arrays over a point set still in input order (slots read
// through `rows`); the coordinates are put into storage order at the end.
class VPBuilder {
public:
    VPBuilder(VPTree& t, std::uint64_t leaf_size) : t_(t), p_(t.points_), leaf_size_(std::max<std::uint64_t>(leaf_size, 1)) {}

    void build() {
        const std::uint64_t nodes = node_estimate(p_.n, leaf_size_);
        t_.ranges_.reserve(nodes);
        t_.shells_.reserve(nodes);
        t_.vantage_.reserve(nodes * p_.dim);
        with_metric(p_.metric, [&]<DistanceMetric M>() { build_node<M>(0, p_.n); });
        std::vector<double> stored(p_.coords.size());
        for (std::uint64_t slot = 0; slot < p_.n; ++slot)
            std::copy_n(point(slot), p_.dim, stored.data() + slot * p_.dim);
        p_.coords.swap(stored);
    }

private:
    const double* point(std::uint64_t slot) const { return p_.coords.data() + p_.rows[slot] * p_.dim; }

    template <DistanceMetric M>
    NodeId build_node(std::uint64_t start, std::uint64_t end) {
        const std::uint64_t count = end - start, dim = p_.dim;
        if (count > 0) {
            std::uint64_t v = start;
            if (t_.selection_ == VantageSelection::Random) {
                Generator g = Generator::from_clock();
                v = static_cast<std::uint64_t>(
                    g.randint(static_cast<std::int64_t>(start), static_cast<std::int64_t>(end)));
            }
            std::swap(p_.rows[start], p_.rows[v]);
        }
        // The other points with their distances to the vantage point.
        const double* vantage = count > 0 ? point(start) : nullptr;
        pairs_.clear();
        double min_dist = std::numeric_limits<double>::infinity();
        double max_dist = -std::numeric_limits<double>::infinity();
        for (std::uint64_t slot = start + 1; slot < end; ++slot) {
            const double d = distance<M>(point(slot), vantage, dim);
            if (d < min_dist) min_dist = d;
            if (d > max_dist) max_dist = d;
            pairs_.emplace_back(d, p_.rows[slot]);
        }
        const NodeId id = t_.ranges_.size();
        t_.ranges_.push_back({start, end, 0});
        t_.vantage_.insert(t_.vantage_.end(), vantage, vantage + (count > 0 ? dim : 0));
        if (count == 0) t_.vantage_.resize(t_.vantage_.size() + dim, 0.0);
        if (pairs_.empty()) {  // a node of one point (or none): nothing to split
            t_.shells_.push_back({0.0, 0.0, 0.0});
            return id;
        }
        const std::uint64_t m = pairs_.size() / 2;
        const double threshold = select_median(m);
        for (std::uint64_t j = 0; j < pairs_.size(); ++j) p_.rows[start + 1 + j] = pairs_[j].second;
        t_.shells_.push_back({threshold, min_dist, max_dist});
        if (count <= leaf_size_) return id;
        build_node<M>(start, start + 1 + m);
        const NodeId right = build_node<M>(start + 1 + m, end);
        t_.ranges_[id].right = right;
        return id;
    }

    // Orders pairs_ so that position m holds the distance a full ascending
    // sort would put there, NaN distances (which compare with nothing) kept
    // after all others, and returns the threshold: that distance when the
    // count is odd, else its mean with the largest distance before it.
    double select_median(std::uint64_t m) {
        auto numbers_end = std::partition(pairs_.begin(), pairs_.end(),
                                          [](const auto& p) { return !std::isnan(p.first); });
        const auto at = pairs_.begin() + static_cast<std::ptrdiff_t>(m);
        if (at < numbers_end)
            std::nth_element(pairs_.begin(), at, numbers_end,
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        if (pairs_.size() % 2 == 1) return at->first;
        double below = -std::numeric_limits<double>::infinity();
        for (auto it = pairs_.begin(); it != at; ++it)
            if (it->first > below) below = it->first;
        return (below + at->first) * 0.5;
    }

    VPTree& t_;
    PointSet& p_;
    std::uint64_t leaf_size_;
    std::vector<std::pair<double, std::uint64_t>> pairs_;
};

VPTree VPTree::from_ndarray(const NdArray& array, std::uint64_t leaf_size, DistanceMetric metric,
                            VantageSelection selection) {
    VPTree t;
    t.points_ = PointSet::from_ndarray(array, metric);
    t.selection_ = selection;
    VPBuilder(t, leaf_size).build();
    return t;
}

void VPTree::check_query(std::size_t len) const {
    // The distance to the root's vantage point reads it at every query position.
    if (points_.n > 0 && len > points_.dim) panic_out_of_bounds(points_.dim, points_.dim);
}

// max(max(dv - max_dist, min_dist - dv), 0.0) bounds the node's other points
// (max passing over NaN); the vantage point itself is at dv. Rounding of the
// distances is covered by lowering the bound by a sliver, as in the ball tree.
double VPTree::lower_bound(NodeId node, double dv) const {
    const Shell& s = shells_[node];
    const double others = max_of(max_of(dv - s.max_dist, s.min_dist - dv), 0.0);
    const double lower = min_of(dv, others);
    const double slack = (dv + s.max_dist) * 0x1p-40;
    return std::isfinite(slack) && lower > 0.0 ? max_of(lower - slack, 0.0) : lower;
}

}  // namespace tessaron::spatial
