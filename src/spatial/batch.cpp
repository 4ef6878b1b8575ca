#include "spatial/batch.hpp"

#include <cmath>
#include <cstring>
#include <deque>
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

void write_answers(AnswerGather& gather, const std::int64_t* offsets, std::int64_t* rows, double* distances,
                   const Workers& workers) {
    std::deque<BandLists>& all = gather.lists.all();
    run_chunks(gather.lists.bands(), workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        for (std::uint64_t b = begin; b < end; ++b) {
            if (gather.lists.words_in(b) == 0) continue;
            // The band's answers lie between the offsets of its first query
            // and of its last one's end: their pages first.
            const auto lo = static_cast<std::uint64_t>(offsets[b << gather.shift]);
            const auto hi = static_cast<std::uint64_t>(offsets[std::min(gather.m, (b + 1) << gather.shift)]);
            touch_pages(rows + lo, (hi - lo) * sizeof(std::int64_t), watch);
            if (distances) touch_pages(distances + lo, (hi - lo) * sizeof(double), watch);
            for (BandLists& l : all) {
                GatherList<std::uint64_t>& words = l.words[b];
                std::uint64_t at = 0, left = 0;  // where the current answer's next row goes, and how many are left
                for (std::size_t block = 0; block < words.blocks(); ++block) {
                    const std::uint64_t* w = words.block(block);
                    const double* d = distances ? l.distances[b].block(block) : nullptr;
                    const std::uint64_t n = words.block_size(block);
                    for (std::uint64_t k = 0; k < n; ++k) {
                        if (left == 0) {  // a query's index: its answer follows
                            at = static_cast<std::uint64_t>(offsets[w[k]]);
                            left = static_cast<std::uint64_t>(offsets[w[k] + 1]) - at;
                            continue;
                        }
                        rows[at] = static_cast<std::int64_t>(w[k]);
                        if (d) distances[at] = d[k];
                        ++at;
                        --left;
                    }
                    watch.tick(n / 4 + 1);
                }
                words.release();
                if (distances) l.distances[b].release();
            }
        }
    });
}

}  // namespace tessaron::spatial
