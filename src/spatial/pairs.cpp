#include "spatial/pairs.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

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

std::uint64_t total_pairs(const std::vector<PairList>& lists) {
    std::uint64_t total = 0;
    for (const PairList& l : lists) total += l.first.size();
    return total;
}

void write_pairs(std::vector<PairList>& lists, std::uint64_t n, std::int64_t* firsts, std::int64_t* seconds,
                 std::uint64_t stride, double* distances) {
    // A counting sort by the first row, then each row's pairs by the second.
    std::vector<std::uint64_t> start(n + 1, 0);
    for (const PairList& l : lists)
        for (std::uint64_t i : l.first) ++start[i + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    std::vector<std::pair<std::uint64_t, double>> placed(start[n]);
    for (PairList& l : lists) {
        for (std::uint64_t k = 0; k < l.first.size(); ++k)
            placed[next[l.first[k]]++] = {l.second[k], distances ? l.distances[k] : 0.0};
        l = PairList{};
    }
    for (std::uint64_t i = 0; i < n; ++i) {
        const auto from = placed.begin() + static_cast<std::ptrdiff_t>(start[i]);
        const auto to = placed.begin() + static_cast<std::ptrdiff_t>(start[i + 1]);
        std::sort(from, to, [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::uint64_t at = start[i]; at < start[i + 1]; ++at) {
            firsts[at * stride] = static_cast<std::int64_t>(i);
            seconds[at * stride] = static_cast<std::int64_t>(placed[at].first);
            if (distances) distances[at] = placed[at].second;
        }
    }
}

}  // namespace tessaron::spatial
