#include "spatial/serial.hpp"

namespace tessaron::spatial {

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

void write_points(Writer& w, const PointSet& p, const std::vector<SlotRange>& ranges) {
    w.u64(p.n);
    w.u64(p.dim);
    w.u64(static_cast<std::uint64_t>(p.metric));
    w.vec(p.coords);
    w.vec(p.rows);
    w.u64(ranges.size());
    for (const SlotRange& r : ranges) {
        w.u64(r.start);
        w.u64(r.end);
        w.u64(r.right);
    }
}

void read_points(Reader& r, PointSet& p, std::vector<SlotRange>& ranges) {
    p.n = r.u64();
    p.dim = r.u64();
    const std::uint64_t metric = r.u64();
    if (!is_metric_id(metric)) Reader::bad("unknown metric");
    p.metric = static_cast<DistanceMetric>(metric);
    p.coords = r.vec<double>(checked_product(p.n, p.dim));
    p.rows = r.vec<std::uint64_t>(p.n);
    std::vector<bool> seen(p.n, false);  // the rows must be a permutation
    for (std::uint64_t row : p.rows) {
        if (row >= p.n || seen[row]) Reader::bad("the rows are not a permutation");
        seen[row] = true;
    }
    const std::uint64_t count = r.u64();
    if (count == 0 || count > 2 * p.n + 1) Reader::bad("wrong number of nodes");
    ranges.resize(count);
    for (SlotRange& s : ranges) {
        s.start = r.u64();
        s.end = r.u64();
        s.right = r.u64();
    }
    // Pre-order: the root covers every slot; an internal node's children
    // follow it, split its range in two and have larger positions, so every
    // walk ends and stays in bounds.
    if (ranges[0].start != 0 || ranges[0].end != p.n) Reader::bad("the root does not cover the points");
    for (NodeId i = 0; i < count; ++i) {
        const SlotRange& s = ranges[i];
        if (s.start > s.end || s.end > p.n) Reader::bad("a node range is out of bounds");
        if (s.is_leaf()) continue;
        if (s.right <= i + 1 || s.right >= count) Reader::bad("a child position is out of order");
        const SlotRange &left = ranges[i + 1], &right = ranges[s.right];
        if (left.start != s.start || right.end != s.end || left.end != right.start)
            Reader::bad("children do not split their parent");
    }
}

}  // namespace tessaron::spatial
