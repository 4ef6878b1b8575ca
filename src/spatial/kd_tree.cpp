#include "spatial/kd_tree.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "array/format.hpp"
#include "spatial/median_split.hpp"
#include "spatial/serial.hpp"

namespace tessaron::spatial {

KDTree KDTree::from_points(PointSet points, std::uint64_t leaf_size, Watch* watch) {
    check_metric_fits(points.metric, points.params, points.dim, true);
    check_points_in_box(points.coords.data(), points.n, points.dim, points.params);
    KDTree t;
    t.points_ = std::move(points);
    t.leaf_size_ = leaf_size;
    const std::uint64_t dim = t.points_.dim;
    const std::uint64_t nodes = node_estimate(t.points_.n, leaf_size);
    reserve_on_huge_pages(t.boxes_, nodes * 2 * dim);
    t.split_dim_ = IndexArray(dim);
    t.split_dim_.reserve(nodes);
    auto on_node = [&t, dim](NodeId, std::uint64_t, std::uint64_t, const double*, const double* lo,
                             const double* hi) {
        t.boxes_.insert(t.boxes_.end(), lo, lo + dim);
        t.boxes_.insert(t.boxes_.end(), hi, hi + dim);
        t.split_dim_.push_back(0);
    };
    // The split value is the right child's smallest coordinate (split_value).
    auto on_split = [&t](NodeId id, std::uint64_t d, double) { t.split_dim_.set(id, d); };
    t.ranges_ = median_split(t.points_, leaf_size, on_node, on_split, watch);
    t.finite_points_ = t.points_.finite(watch);
    t.open_nan_dimensions(watch);
    return t;
}

void KDTree::open_nan_dimensions(Watch* watch) {
    const PointSet& p = points_;
    const std::uint64_t dim = p.dim, nodes = ranges_.size();
    if (p.metric != DistanceMetric::Chebyshev) return;
    bool nan = false;
    in_watched_blocks(0, p.coords.size(), 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        nan = nan || any_nan(p.coords.data() + from, to - from);
    });
    if (!nan) return;
    // Opened boxes no longer give the split values: they are kept as they are now.
    split_values_ = every_split_value();
    // Per node and dimension, whether a point below has a NaN there: leaves
    // from their points, internal nodes from their children, which follow
    // them in pre-order (so a reverse pass meets children first).
    std::vector<char> nan_in(nodes * dim, 0);
    for (NodeId i = nodes; i-- > 0;) {
        char* flags = nan_in.data() + i * dim;
        const SlotRange r = ranges_[i];
        if (watch) watch->tick(dim * (r.is_leaf() ? r.count() + 1 : 1));
        if (r.is_leaf()) {
            for (std::uint64_t slot = r.start; slot < r.end; ++slot)
                for (std::uint64_t d = 0; d < dim; ++d) flags[d] |= std::isnan(p.at(slot)[d]);
        } else {
            for (std::uint64_t d = 0; d < dim; ++d)
                flags[d] = nan_in[(i + 1) * dim + d] | nan_in[r.right * dim + d];
        }
        double* l = boxes_.data() + i * 2 * dim;
        for (std::uint64_t d = 0; d < dim; ++d)
            if (flags[d]) {
                l[d] = -std::numeric_limits<double>::infinity();
                l[dim + d] = std::numeric_limits<double>::infinity();
            }
    }
}

void KDTree::check_query(std::size_t len) const {
    // The box bound reads every dimension of the query.
    if (len < points_.dim) panic_out_of_bounds(len, len);
}

void KDTree::check_leaf_scan(std::size_t len) const {
    // A point distance runs over the query's length and reads the point there.
    if (len > points_.dim) panic_out_of_bounds(points_.dim, points_.dim);
}

void KDTree::check_box(NodeId node) const {
    const double *l = lo(node), *h = hi(node);
    for (std::uint64_t d = 0; d < points_.dim; ++d)
        if (!(l[d] <= h[d])) {
            std::string message = "min > max, or either was NaN. min = ";
            append_float(message, l[d]);
            message += ", max = ";
            append_float(message, h[d]);
            panic(message);
        }
}

double KDTree::span(NodeId node) const {
    const double *l = lo(node), *h = hi(node);
    double s = 0.0;
    for (std::uint64_t d = 0; d < points_.dim; ++d) s += (h[d] - l[d]) * (h[d] - l[d]);
    return std::sqrt(s);
}

namespace {
constexpr std::uint64_t kMagic = 0x3130304b44545354ULL;
}

std::vector<std::uint8_t> KDTree::state() const {
    return write_state(kMagic, points_, ranges_, leaf_size_, [&](Writer& w) {
        w.vec(boxes_);
        w.indices(split_dim_);
        w.vec(every_split_value());
    });
}

std::vector<double> KDTree::every_split_value() const {
    std::vector<double> values(ranges_.size(), 0.0);  // 0.0 for leaves
    for (NodeId i = 0; i < ranges_.size(); ++i) {
        const SlotRange r = ranges_[i];
        if (!r.is_leaf()) values[i] = split_value(i, r.right, split_dim_[i]);
    }
    return values;
}

KDTree KDTree::from_state(std::span<const std::uint8_t> bytes) {
    KDTree t;
    read_state(bytes, kMagic, "KDTree", t.points_, t.ranges_, t.leaf_size_, median_left_count,
               [&](Reader& r, std::uint64_t nodes, std::uint64_t dim) {
                   // Only the boxes' sizes are read: the geometry is measured again.
                   t.boxes_ = r.vec<double>(checked_product(nodes, checked_product(2, dim)));
                   r.skip<std::uint64_t>(nodes);  // split dimensions
                   r.skip<double>(nodes);         // split values
               });
    check_metric_fits(t.points_.metric, t.points_.params, t.points_.dim, true);
    t.derive_geometry();
    t.finite_points_ = t.points_.finite();
    t.open_nan_dimensions();
    return t;
}

void KDTree::derive_geometry() {
    const std::uint64_t dim = points_.dim, nodes = ranges_.size();
    // Boxes bottom-up: children follow their parent in pre-order, so a
    // reverse pass meets them first; a parent's box is its children's union.
    for (NodeId i = nodes; i-- > 0;) {
        const SlotRange r = ranges_[i];
        double* box = boxes_.data() + i * 2 * dim;
        if (r.is_leaf()) {
            measure_box(points_.at(r.start), r.count(), dim, box);
            continue;
        }
        const double *left = boxes_.data() + (i + 1) * 2 * dim, *right = boxes_.data() + r.right * 2 * dim;
        for (std::uint64_t d = 0; d < dim; ++d) {
            box[d] = std::min(left[d], right[d]);
            box[dim + d] = std::max(left[dim + d], right[dim + d]);
        }
    }
    split_dim_ = IndexArray(dim);
    split_dim_.resize(nodes);
    for (NodeId i = 0; i < nodes; ++i) {
        const SlotRange r = ranges_[i];
        if (r.is_leaf()) continue;
        if (dim == 0) Reader::bad("a tree without dimensions has one leaf");
        const double* box = lo(i);
        std::uint64_t split = 0;  // the first strictly widest dimension, as the build picks it
        double widest = 0.0;
        for (std::uint64_t d = 0; d < dim; ++d)
            if (box[dim + d] - box[d] > widest) {
                widest = box[dim + d] - box[d];
                split = d;
            }
        // The median is the smallest coordinate on the right; none on the left exceeds it.
        const double median = lo(r.right)[split];
        if (!(hi(i + 1)[split] <= median)) Reader::bad("a node is not split at its median");
        split_dim_.set(i, split);
    }
}

}  // namespace tessaron::spatial
