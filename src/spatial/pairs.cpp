#include "spatial/pairs.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

namespace tessaron::spatial {

void sort_by_row(RadiusHits& hits) {
    const std::uint64_t n = hits.rows.size();
    if (hits.distances.empty()) {
        std::sort(hits.rows.begin(), hits.rows.end());
        return;
    }
    std::vector<std::pair<std::uint64_t, double>> keyed(n);
    for (std::uint64_t j = 0; j < n; ++j) keyed[j] = {hits.rows[j], hits.distances[j]};
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::uint64_t j = 0; j < n; ++j) {
        hits.rows[j] = keyed[j].first;
        hits.distances[j] = keyed[j].second;
    }
}

std::vector<std::uint64_t> grouping_order(const PointRows& other, std::uint64_t dim, Watch* watch) {
    std::vector<std::uint64_t> order(other.m), block;
    std::iota(order.begin(), order.end(), std::uint64_t{0});
    if (other.rows) return order;  // a tree's points: already leaf by leaf
    for (std::uint64_t first = 0; first < other.m; first += kOrderedBlock) {
        const std::uint64_t count = std::min(kOrderedBlock, other.m - first);
        if (watch) watch->check();
        locality_order(other.coords + first * dim, count, dim, block);
        for (std::uint64_t i = 0; i < count; ++i) order[first + i] = first + block[i];
    }
    return order;
}

void by_first_row(std::vector<RadiusHits>& hits, std::uint64_t first_rows, std::int64_t* rows, std::int64_t* cols,
                  double* distances) {
    // Where each first row's pairs begin, then the pairs placed in order
    // of the second row: a counting sort, stable in the second row.
    std::vector<std::uint64_t> start(first_rows + 1, 0);
    for (const RadiusHits& h : hits)
        for (std::uint64_t i : h.rows) ++start[i + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    for (std::uint64_t j = 0; j < hits.size(); ++j) {
        RadiusHits& h = hits[j];
        for (std::uint64_t at = 0; at < h.rows.size(); ++at) {
            const std::uint64_t to = start[h.rows[at]]++;
            rows[to] = static_cast<std::int64_t>(h.rows[at]);
            cols[to] = static_cast<std::int64_t>(j);
            distances[to] = h.distances[at];
        }
        h = RadiusHits{};
    }
}

void write_pairs(std::vector<RadiusHits>& hits, std::int64_t* pairs, double* distances) {
    std::uint64_t at = 0;
    for (std::uint64_t i = 0; i < hits.size(); ++i) {
        RadiusHits& h = hits[i];
        for (std::uint64_t k = 0; k < h.rows.size(); ++k, ++at) {
            pairs[2 * at] = static_cast<std::int64_t>(i);
            pairs[2 * at + 1] = static_cast<std::int64_t>(h.rows[k]);
            if (distances) distances[at] = h.distances[k];
        }
        h = RadiusHits{};
    }
}

}  // namespace tessaron::spatial
