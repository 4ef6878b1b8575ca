#include "spatial/pairs.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

namespace tessaron::spatial {

std::uint64_t total_pairs(const std::vector<PairList>& lists) {
    std::uint64_t total = 0;
    for (const PairList& l : lists) total += l.first.size();
    return total;
}

void write_pairs(std::vector<PairList>& lists, std::uint64_t n, std::int64_t* firsts, std::int64_t* seconds,
                 std::uint64_t stride, double* distances, const Workers& workers) {
    // A counting sort by the first row straight into the output, then each
    // row's pairs ordered by the second (rows on the workers).
    std::vector<std::uint64_t> start(n + 1, 0);
    for (const PairList& l : lists)
        for (std::uint64_t i : l.first) ++start[i + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    for (PairList& l : lists) {
        for (std::uint64_t k = 0; k < l.first.size(); ++k) {
            const std::uint64_t at = next[l.first[k]]++;
            firsts[at * stride] = static_cast<std::int64_t>(l.first[k]);
            seconds[at * stride] = static_cast<std::int64_t>(l.second[k]);
            if (distances) distances[at] = l.distances[k];
        }
        l = PairList{};
    }
    run_chunks(n, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        std::vector<std::pair<std::int64_t, double>> row;
        for (std::uint64_t i = begin; i < end; ++i) {
            row.clear();
            for (std::uint64_t at = start[i]; at < start[i + 1]; ++at)
                row.emplace_back(seconds[at * stride], distances ? distances[at] : 0.0);
            // Second rows differ within a row: the order is total.
            std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            for (std::uint64_t at = start[i], k = 0; at < start[i + 1]; ++at, ++k) {
                seconds[at * stride] = row[k].first;
                if (distances) distances[at] = row[k].second;
            }
            watch.tick(start[i + 1] - start[i] + 1);
        }
    });
}

}  // namespace tessaron::spatial
