#include "spatial/ball_tree.hpp"

#include "spatial/median_split.hpp"
#include "spatial/serial.hpp"

namespace tessaron::spatial {

namespace {

// The largest metric distance from `count` points to c, from 0.0; a NaN
// distance never replaces it.
double radius_of(const PointSet& set, const double* points, std::uint64_t count, std::uint64_t dim,
                 const double* c, Watch* watch = nullptr) {
    double radius = 0.0;
    with_metric(set.metric, [&]<class M>() {
        const M metric = M::of(set.params);
        in_watched_blocks(0, count, dim, watch, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to; ++i) {
                const double r = metric.distance(points + i * dim, c, dim);
                if (r > radius) radius = r;
            }
        });
    });
    return radius;
}

}  // namespace

BallTree BallTree::from_points(PointSet points, std::uint64_t leaf_size, Watch* watch) {
    check_metric_fits(points.metric, points.params, points.dim, false);
    check_points_in_box(points.coords.data(), points.n, points.dim, points.params);
    BallTree t;
    t.points_ = std::move(points);
    t.leaf_size_ = leaf_size;
    const PointSet& p = t.points_;
    const std::uint64_t dim = p.dim, nodes = node_estimate(p.n, leaf_size);
    reserve_on_huge_pages(t.centroids_, nodes * dim);
    t.radius_.reserve(nodes);
    // Centroid: coordinates added in slot order from 0.0, then divided by the
    // count (0/0 = NaN for a node without points). Radius: the largest metric
    // distance to a point, from 0.0; a NaN distance never replaces it.
    auto on_node = [&t, &p, dim, watch](NodeId, std::uint64_t start, std::uint64_t end, const double* points,
                                        const double*, const double*) {
        const std::uint64_t count = end - start;
        const std::size_t at = t.centroids_.size();
        t.centroids_.resize(at + dim, 0.0);
        double* c = t.centroids_.data() + at;
        in_watched_blocks(0, count, dim, watch, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to; ++i)
                for (std::uint64_t d = 0; d < dim; ++d) c[d] += points[i * dim + d];
        });
        for (std::uint64_t d = 0; d < dim; ++d) c[d] /= static_cast<double>(count);
        t.radius_.push_back(radius_of(p, points, count, dim, c, watch));
    };
    t.ranges_ = median_split(t.points_, leaf_size, on_node, [](NodeId, std::uint64_t, double) {}, watch);
    t.finite_points_ = t.points_.finite(watch);
    return t;
}

void BallTree::check_query(std::size_t len) const { check_query_length(len, points_.dim); }


namespace {
constexpr std::uint64_t kMagic = 0x3130304c42545354ULL;
}

std::vector<std::uint8_t> BallTree::state() const {
    return write_state(kMagic, points_, ranges_, leaf_size_, [&](Writer& w) {
        w.vec(centroids_);
        w.vec(radius_);
    });
}

BallTree BallTree::from_state(std::span<const std::uint8_t> bytes) {
    BallTree t;
    read_state(bytes, kMagic, "BallTree", t.points_, t.ranges_, t.leaf_size_, median_left_count,
               [&](Reader& r, std::uint64_t nodes, std::uint64_t dim) {
                   t.centroids_ = r.vec<double>(checked_product(nodes, dim));
                   t.radius_ = r.vec<double>(nodes);
                   // Every ball must be the one a build measures around its
                   // centroid: its radius the largest distance to its points
                   // (which does not depend on their order), so that no bound
                   // ever exceeds a point's distance.
                   for (NodeId i = 0; i < nodes; ++i) {
                       const SlotRange s = t.ranges_[i];
                       const double* c = t.centroids_.data() + i * dim;
                       if (t.radius_[i] != radius_of(t.points_, t.points_.at(s.start), s.count(), dim, c))
                           Reader::bad("a ball does not fit its points");
                   }
               });
    t.finite_points_ = t.points_.finite();
    return t;
}

}  // namespace tessaron::spatial
