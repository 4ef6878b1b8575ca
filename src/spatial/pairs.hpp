// Searches between two point sets: every pair of a tree's points within a
// radius, the pairs of a tree's points and other points within a distance
// (a sparse distance matrix), and pair counts within many radii (the
// two-point correlation). Each point of one set is a query on the tree of
// the other, on the batch machinery: any number of workers, the same
// answers for every number (pairs are sorted, counts are sums of integers).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#include "spatial/batch.hpp"
#include "spatial/select.hpp"

namespace tessaron::spatial {

// Pairs of input rows with their distances (when kept), as a search finds
// them; a list holds pairs of one band of first rows (see PairBands).
struct PairList {
    std::uint64_t band = 0;
    std::vector<std::uint64_t> first, second;
    std::vector<double> distances;
};

// The pairs of one piece of a search, kept apart by band of first rows:
// bands of 2^shift rows, a few per worker, so that laying out the pairs
// by first row (write_pairs) goes band by band on the workers.
class PairBands {
public:
    // For first rows below n.
    PairBands(std::uint64_t n, const Workers& workers);
    void add(std::uint64_t first, std::uint64_t second, double d, bool keep_distance) {
        PairList& l = lists_[first >> shift_];
        l.first.push_back(first);
        l.second.push_back(second);
        if (keep_distance) l.distances.push_back(d);
    }
    // Moves the lists that hold pairs to the end of `all`.
    void hand_over(std::vector<PairList>& all);

private:
    std::uint64_t shift_ = 0;
    std::vector<PairList> lists_;
};

// The pairs i < j of the tree's points within `radius`, each found once:
// from the point in the earlier storage slot, searching the later slots
// only. A tree of finite points is searched a leaf at a time (its points a
// group, see search_group_within); otherwise point by point. The lists of
// the chunks are handed back in any order (see write_pairs).
template <SearchTree Tree>
void pairs_within(const Tree& t, double radius, bool distances, std::vector<PairList>& lists,
                  const Workers& workers) {
    const PointSet& p = t.points();
    lists.clear();
    if (p.n < 2) return;
    t.check_query(p.dim);
    const bool grouped = t.finite_points();
    std::vector<NodeId> leaves;  // of points, in slot order
    for (NodeId node = 0; grouped && node < t.node_count(); ++node)
        if (t.range(node).is_leaf() && t.range(node).count() > 0) leaves.push_back(node);
    std::mutex collect;
    run_chunks(grouped ? leaves.size() : p.n, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        PairBands mine(p.n, workers);
        std::vector<double> box(2 * p.dim);
        std::vector<const double*> members;
        GroupScratch scratch;
        for (std::uint64_t at = begin; at < end; ++at) {
            const SlotRange leaf = grouped ? t.range(leaves[at]) : SlotRange{at, at + 1, 0};
            auto add = [&](std::uint64_t member, double d, std::uint64_t other) {
                const std::uint64_t row = p.rows[leaf.start + member];
                mine.add(std::min(row, other), std::max(row, other), d, distances);
            };
            if (grouped) {
                members.clear();
                for (std::uint64_t slot = leaf.start; slot < leaf.end; ++slot) members.push_back(p.at(slot));
                measure_box(p.at(leaf.start), leaf.count(), p.dim, box.data());
                Within w(radius, leaf.start);
                w.distances = distances;
                search_group_within(t, scratch.group(box.data(), box.data() + p.dim, members, p.dim), w,
                                    leaf.start, add, watch);
            } else {
                search_radius(t, p.at(at), p.dim, Within(radius, at + 1),
                              [&](double d, std::uint64_t other) { add(0, d, other); }, watch);
            }
            watch.tick(p.dim * leaf.count());
        }
        std::lock_guard<std::mutex> hold(collect);
        mine.hand_over(lists);
    });
}

// The pairs (i of the tree, j of `other`) within `max_distance`, with
// their distances, in lists as pairs_within gives them. Nearby points of
// `other` are searched in groups (see for_each_group).
template <SearchTree Tree>
void cross_pairs(const Tree& t, PointRows other, double max_distance, std::vector<PairList>& lists,
                 const Workers& workers) {
    const PointSet& p = t.points();
    lists.clear();
    if (other.m == 0 || p.n == 0) return;
    t.check_query(p.dim);
    const Within w(max_distance);
    std::mutex collect;
    for_each_group(
        other, p.dim, t.finite_points(), workers, [&] { return PairBands(p.n, workers); },
        [&](const double* q, std::uint64_t at, PairBands& mine, Watch& watch) {
            const std::uint64_t j = other.row(at);
            search_radius(t, q, p.dim, w, [&](double d, std::uint64_t i) { mine.add(i, j, d, true); }, watch);
        },
        [&](const QueryGroup& g, const std::vector<std::uint64_t>& at, PairBands& mine, Watch& watch) {
            search_group_within(t, g, w, std::uint64_t(-1), [&](std::uint64_t member, double d, std::uint64_t i) {
                mine.add(i, other.row(at[member]), d, true);
            }, watch);
        },
        [&](PairBands& mine) {
            std::lock_guard<std::mutex> hold(collect);
            mine.hand_over(lists);
        });
}

// The pairs of the lists sorted by first row, then second (so the same
// whatever order the lists came in): pair k's rows go to firsts[k * stride]
// and seconds[k * stride], its distance (when kept) to distances[k]; the
// lists are freed. `n`: how many first rows there are.
std::uint64_t total_pairs(const std::vector<PairList>& lists);
void write_pairs(std::vector<PairList>& lists, std::uint64_t n, std::int64_t* firsts, std::int64_t* seconds,
                 std::uint64_t stride, double* distances, const Workers& workers);

// bins[j] (radii.size of them, zeroed by the caller): the pairs (x of the
// tree, y of the other points) whose distance lies in bin j of `radii`
// (nondecreasing; see CountBins). Nearby points of `other` are counted in
// groups, their pairs with a whole node at once where their bounding box
// allows; points with a coordinate that is not finite, and every point
// when the tree's are not all finite, one by one.
template <SearchTree Tree>
void count_pairs(const Tree& t, PointRows other, const std::vector<double>& radii, std::int64_t* bins,
                 const Workers& workers) {
    const PointSet& p = t.points();
    if (other.m == 0 || radii.empty() || p.n == 0) return;
    t.check_query(p.dim);
    std::vector<double> squared(radii.size());
    std::transform(radii.begin(), radii.end(), squared.begin(), largest_square_within);
    std::mutex merge;
    auto bins_of = [&](std::vector<std::int64_t>& mine) {
        return CountBins{radii.data(), radii.size(), mine.data(), squared.data()};
    };
    for_each_group(
        other, p.dim, t.finite_points(), workers, [&] { return std::vector<std::int64_t>(radii.size(), 0); },
        [&](const double* q, std::uint64_t, std::vector<std::int64_t>& mine, Watch& watch) {
            count_within(t, q, p.dim, bins_of(mine), watch);
        },
        [&](const QueryGroup& g, const std::vector<std::uint64_t>&, std::vector<std::int64_t>& mine, Watch& watch) {
            count_group_within(t, g, bins_of(mine), watch);
        },
        [&](const std::vector<std::int64_t>& mine) {
            std::lock_guard<std::mutex> hold(merge);  // sums of integers: the same in any order
            for (std::size_t j = 0; j < mine.size(); ++j) bins[j] += mine[j];
        });
}

}  // namespace tessaron::spatial
