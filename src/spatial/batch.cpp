#include "spatial/batch.hpp"

#include <cmath>
#include <cstring>
#include <numeric>

namespace tessaron::spatial {

Grouping group_points(const PointRows& other, std::uint64_t dim, Watch* watch) {
    constexpr std::uint64_t kGroup = 16, kLongestGroup = 32;
    Grouping g;
    g.order.resize(other.m);
    std::iota(g.order.begin(), g.order.end(), std::uint64_t{0});
    g.bounds.push_back(0);
    if (other.ranges) {  // a tree's points: already leaf by leaf, in slot order
        for (NodeId node = 0; node < other.ranges->size(); ++node) {
            const SlotRange r = (*other.ranges)[node];
            if (!r.is_leaf()) continue;
            for (std::uint64_t at = r.start + kLongestGroup; at < r.end; at += kLongestGroup) g.bounds.push_back(at);
            if (r.end > g.bounds.back()) g.bounds.push_back(r.end);
        }
        return g;
    }
    std::vector<std::uint64_t> block;
    for (std::uint64_t first = 0; first < other.m; first += kOrderedBlock) {
        const std::uint64_t count = std::min(kOrderedBlock, other.m - first);
        if (watch) watch->check();
        locality_order(other.coords + first * dim, count, dim, block);
        for (std::uint64_t i = 0; i < count; ++i) g.order[first + i] = first + block[i];
    }
    for (std::uint64_t at = kGroup; at < other.m; at += kGroup) g.bounds.push_back(at);
    if (other.m > g.bounds.back()) g.bounds.push_back(other.m);
    return g;
}

void sort_by_distance(RadiusHits& hits) {
    const std::uint64_t n = hits.rows.size();
    std::vector<std::pair<double, std::uint64_t>> keyed(n);
    for (std::uint64_t j = 0; j < n; ++j) keyed[j] = {hits.distances[j], hits.rows[j]};
    // Distances within a radius are numbers (NaN is never within one), so
    // pairs order totally; rows differ, so no two pairs are equal.
    std::sort(keyed.begin(), keyed.end());
    for (std::uint64_t j = 0; j < n; ++j) {
        hits.distances[j] = keyed[j].first;
        hits.rows[j] = keyed[j].second;
    }
}

std::uint64_t total_hits(const std::vector<RadiusHits>& hits) {
    return std::accumulate(hits.begin(), hits.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const RadiusHits& h) { return sum + h.rows.size(); });
}

void write_flat(std::vector<RadiusHits>& hits, std::int64_t* offsets, std::int64_t* rows, double* distances) {
    std::uint64_t at = 0;
    offsets[0] = 0;
    for (std::uint64_t i = 0; i < hits.size(); ++i) {
        RadiusHits& h = hits[i];
        for (std::uint64_t j = 0; j < h.rows.size(); ++j) rows[at + j] = static_cast<std::int64_t>(h.rows[j]);
        if (distances && !h.distances.empty())
            std::memcpy(distances + at, h.distances.data(), h.distances.size() * sizeof(double));
        at += h.rows.size();
        offsets[i + 1] = static_cast<std::int64_t>(at);
        h = RadiusHits{};
    }
}

}  // namespace tessaron::spatial
