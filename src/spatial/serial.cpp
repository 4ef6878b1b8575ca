#include "spatial/serial.hpp"

#include <algorithm>
#include <bit>

#include "spatial/names.hpp"

namespace tessaron::spatial {

namespace {
constexpr std::uint64_t kNamedByObject = std::uint64_t{1} << 8;
}  // namespace

void Writer::put(const void* p, std::size_t n) {
    if (n == 0) return;
    const std::size_t at = bytes_.size();
    bytes_.resize(at + n);
    std::memcpy(bytes_.data() + at, p, n);
}

std::uint64_t checksum(std::span<const std::uint8_t> bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ULL;
    return h;
}

std::uint64_t checked_product(std::uint64_t n, std::uint64_t m) {
    std::uint64_t out = 0;
    if (!mul_fits(n, m, out) || !mul_fits(out, 8, out)) Reader::bad("a size is too large");
    return out / 8;
}

// Rows and ranges are written as 64-bit values, whatever width a tree holds
// them in, so that states do not depend on it.
void write_points(Writer& w, const PointSet& p, const NodeRanges& ranges) {
    w.u64(p.n);
    w.u64(p.dim);
    // The metric's id, with a flag above it when an object named it; then
    // Minkowski's p.
    w.u64(static_cast<std::uint64_t>(p.metric) | (p.metric_as_object ? kNamedByObject : 0));
    if (p.metric == DistanceMetric::Minkowski || p.metric == DistanceMetric::Periodic)
        w.u64(std::bit_cast<std::uint64_t>(p.params.p));
    if (p.metric == DistanceMetric::Periodic) {
        w.u64(p.params.period_for_all);
        w.vec(p.params.period);
    }
    w.vec(p.coords);
    w.indices(p.rows);
    w.u64(ranges.size());
    for (NodeId i = 0; i < ranges.size(); ++i) {
        const SlotRange r = ranges[i];
        w.u64(r.start);
        w.u64(r.end);
        w.u64(r.right);
    }
}

void read_points(Reader& r, PointSet& p, NodeRanges& out, LeftCount left_count) {
    p.n = r.u64();
    p.dim = r.u64();
    const std::uint64_t word = r.u64(), metric = word & ~kNamedByObject;
    if (!is_metric_id(metric)) Reader::bad("unknown metric");
    p.metric = static_cast<DistanceMetric>(metric);
    p.metric_as_object = (word & kNamedByObject) != 0;
    p.params = {};
    if (p.metric == DistanceMetric::Minkowski || p.metric == DistanceMetric::Periodic)
        p.params.p = std::bit_cast<double>(r.u64());
    if (p.metric == DistanceMetric::Periodic) {
        const std::uint64_t for_all = r.u64();
        if (for_all > 1) Reader::bad("the metric's parameters are not valid");
        p.params.period_for_all = for_all == 1;
        p.params.period = r.vec<double>(for_all ? 1 : p.dim);
    }
    if (!valid_choice({p.metric, p.params})) Reader::bad("the metric's parameters are not valid");
    if (p.metric == DistanceMetric::Haversine && p.dim != 2) Reader::bad("haversine points need 2 coordinates");
    p.coords = r.vec<double>(checked_product(p.n, p.dim));
    check_points_in_box(p.coords.data(), p.n, p.dim, p.params);
    // Read at full width and checked before they are packed.
    const std::vector<std::uint64_t> rows = r.vec<std::uint64_t>(p.n);
    std::vector<bool> seen(p.n, false);  // the rows must be a permutation
    for (std::uint64_t row : rows) {
        if (row >= p.n || seen[row]) Reader::bad("the rows are not a permutation");
        seen[row] = true;
    }
    const std::uint64_t count = r.u64();
    if (count == 0 || count > 2 * p.n + 1) Reader::bad("wrong number of nodes");
    std::vector<SlotRange> ranges(count);
    for (SlotRange& s : ranges) {
        s.start = r.u64();
        s.end = r.u64();
        s.right = r.u64();
    }
    check_tree(ranges, p.n, left_count);
    p.rows = IndexArray(p.n);
    p.rows.reserve(p.n);
    for (std::uint64_t row : rows) p.rows.push_back(row);
    out = NodeRanges(std::max(p.n, count));
    out.reserve(count);
    for (const SlotRange& s : ranges) out.push(s.start, s.end, s.right);
}

std::uint64_t largest_leaf(const NodeRanges& ranges) {
    std::uint64_t most = 0;
    for (NodeId i = 0; i < ranges.size(); ++i)
        if (ranges[i].is_leaf()) most = std::max(most, ranges[i].count());
    return most;
}

void check_tree(const std::vector<SlotRange>& ranges, std::uint64_t n, LeftCount left_count) {
    // A walk in pre-order from the root must meet every node once, in
    // position order: then the nodes form one tree. Each internal node holds
    // at least two points, split as a build splits them, so the depth stays
    // logarithmic in n and every range stays in bounds.
    const std::uint64_t count = ranges.size();
    if (ranges[0].start != 0 || ranges[0].end != n) Reader::bad("the root does not cover the points");
    std::vector<NodeId> pending{0};
    NodeId next = 0;
    while (!pending.empty()) {
        const NodeId id = pending.back();
        pending.pop_back();
        if (id != next++) Reader::bad("the nodes do not form a tree in pre-order");
        const SlotRange& s = ranges[id];
        if (s.is_leaf()) continue;
        if (s.right >= count || id + 1 >= count || s.count() < 2) Reader::bad("an internal node is malformed");
        const std::uint64_t mid = s.start + left_count(s.count());
        const SlotRange &left = ranges[id + 1], &right = ranges[s.right];
        if (left.start != s.start || left.end != mid || right.start != mid || right.end != s.end)
            Reader::bad("children do not split their parent as a build does");
        pending.push_back(s.right);
        pending.push_back(id + 1);
    }
    if (next != count) Reader::bad("the nodes do not form a tree in pre-order");
}

}  // namespace tessaron::spatial
