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

void sort_by_distance(std::uint64_t* rows, double* distances, std::uint64_t n) {
    std::vector<std::pair<double, std::uint64_t>> keyed(n);
    for (std::uint64_t j = 0; j < n; ++j) keyed[j] = {distances[j], rows[j]};
    // Distances within a radius are numbers (NaN is never within one), so
    // pairs order totally; rows differ, so no two pairs are equal.
    std::sort(keyed.begin(), keyed.end());
    for (std::uint64_t j = 0; j < n; ++j) {
        distances[j] = keyed[j].first;
        rows[j] = keyed[j].second;
    }
}

std::uint64_t sizes_to_offsets(std::int64_t* sizes, std::uint64_t m) {
    sizes[0] = 0;
    for (std::uint64_t i = 0; i < m; ++i) sizes[i + 1] += sizes[i];
    return static_cast<std::uint64_t>(sizes[m]);
}

void write_pieces(AnswerPieces& pieces, const std::int64_t* offsets, std::int64_t* rows, double* distances,
                  const Workers& workers) {
    run_chunks(pieces.size(), workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        for (std::uint64_t k = begin; k < end; ++k) {
            AnswerPiece& piece = pieces[k];
            std::uint64_t from = 0;
            for (std::uint64_t j = 0; j < piece.queries.size(); ++j) {
                const std::uint64_t to = piece.ends[j];
                const auto at = static_cast<std::uint64_t>(offsets[piece.queries[j]]);
                for (std::uint64_t h = from; h < to; ++h) rows[at + h - from] = static_cast<std::int64_t>(piece.rows[h]);
                if (distances && to > from)  // (an empty piece may hold no storage at all)
                    std::memcpy(distances + at, piece.distances.data() + from, (to - from) * sizeof(double));
                from = to;
            }
            watch.tick(2 * piece.rows.size() + 1);
            piece = AnswerPiece{};
        }
    });
    pieces.clear();
}

}  // namespace tessaron::spatial
