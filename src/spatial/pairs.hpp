// Searches between two point sets: every pair of a tree's points within a
// radius, the pairs of a tree's points and other points within a distance
// (a sparse distance matrix), and pair counts within many radii (the
// two-point correlation). Each point of one set is a query on the tree of
// the other, on the batch machinery: any number of workers, the same
// answers for every number.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#include "spatial/batch.hpp"

namespace tessaron::spatial {

// m points of dim coordinates one after another and, for a tree's points
// (in storage order), the input row of each.
struct PointRows {
    const double* coords = nullptr;
    std::uint64_t m = 0;
    const IndexArray* rows = nullptr;  // none: point i is row i
    std::uint64_t row(std::uint64_t at) const { return rows ? (*rows)[at] : at; }
    static PointRows of(const PointSet& p) { return {p.coords.data(), p.n, &p.rows}; }
};

// Orders one answer by input row (distances kept alongside).
void sort_by_row(RadiusHits& hits);

// hits[row of query a]: the tree's points within `radius` of query a that
// keep(query row, point row) accepts, by row, with their distances when asked.
template <SearchTree Tree, class Keep>
void cross_hits(const Tree& t, PointRows q, double radius, bool distances, Keep keep, std::vector<RadiusHits>& hits,
                const Workers& workers) {
    const PointSet& p = t.points();
    hits.assign(q.m, {});
    if (q.m == 0) return;
    t.check_query(p.dim);
    each_query(q.coords, q.m, p.dim, workers, no_state, [&](std::uint64_t at, NoState, Watch& watch) {
        const std::uint64_t query_row = q.row(at);
        RadiusHits& h = hits[query_row];
        search_radius(t, q.coords + at * p.dim, p.dim, radius, [&](double d, std::uint64_t row) {
            if (!keep(query_row, row)) return;
            h.rows.push_back(row);
            if (distances) h.distances.push_back(d);
        }, watch);
        sort_by_row(h);
    });
}

// The pairs i < j of the tree's points within `radius`: hits[i] holds the js.
template <SearchTree Tree>
void pairs_within(const Tree& t, double radius, bool distances, std::vector<RadiusHits>& hits,
                  const Workers& workers) {
    cross_hits(t, PointRows::of(t.points()), radius, distances,
               [](std::uint64_t i, std::uint64_t j) { return i < j; }, hits, workers);
}

// The pairs (i of the tree, j of `other`) within `max_distance`, as the
// tree's answers per other point: hits[j] holds the is (see by_first_row).
template <SearchTree Tree>
void cross_pairs(const Tree& t, PointRows other, double max_distance, std::vector<RadiusHits>& hits,
                 const Workers& workers) {
    cross_hits(t, other, max_distance, true, [](std::uint64_t, std::uint64_t) { return true; }, hits, workers);
}

// The pairs of `hits` (hits[j] holding the is of j) ordered by (i, j), into
// rows, cols and distances (each of total_hits(hits)); hits is freed.
void by_first_row(std::vector<RadiusHits>& hits, std::uint64_t first_rows, std::int64_t* rows, std::int64_t* cols,
                  double* distances);

// The pairs of pairs_within as a (p, 2) matrix of (i, j), by (i, j), with
// their distances when kept; hits is freed.
void write_pairs(std::vector<RadiusHits>& hits, std::int64_t* pairs, double* distances);

// The order in which the points of `other` are grouped: a tree's points as
// stored (leaf by leaf), other points block by block in locality order
// (the watch, if any, checked between blocks).
std::vector<std::uint64_t> grouping_order(const PointRows& other, std::uint64_t dim, Watch* watch);

// bins[j] (radii.size of them, zeroed by the caller): the pairs (x of the
// tree, y of the other points) whose distance lies in bin j of `radii`
// (nondecreasing; see CountBins). Nearby points of `other` are counted in
// groups, their pairs with a whole node at once where their bounding box
// allows; points with a coordinate that is not finite, and every point
// when the tree's are not all finite, one by one.
template <SearchTree Tree>
void count_pairs(const Tree& t, PointRows other, const std::vector<double>& radii, std::int64_t* bins,
                 const Workers& workers) {
    constexpr std::uint64_t kGroup = 16;
    const PointSet& p = t.points();
    if (other.m == 0 || radii.empty() || p.n == 0) return;
    t.check_query(p.dim);
    const std::uint64_t dim = p.dim;
    const bool grouped = p.finite(workers.watch);
    const std::vector<std::uint64_t> order = grouping_order(other, dim, workers.watch);
    std::vector<double> squared(radii.size());
    std::transform(radii.begin(), radii.end(), squared.begin(), largest_square_within);
    std::mutex merge;
    run_chunks((other.m + kGroup - 1) / kGroup, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        std::vector<std::int64_t> mine(radii.size(), 0);
        const CountBins c{radii.data(), radii.size(), mine.data(), squared.data()};
        std::vector<double> box(2 * dim);
        std::vector<const double*> members;
        for (std::uint64_t group = begin; group < end; ++group) {
            members.clear();
            std::fill_n(box.begin(), dim, HUGE_VAL);
            std::fill_n(box.begin() + dim, dim, -HUGE_VAL);
            for (std::uint64_t at = group * kGroup; at < std::min(other.m, (group + 1) * kGroup); ++at) {
                const double* q = other.coords + order[at] * dim;
                if (!grouped || !all_finite(q, dim)) {
                    count_within(t, q, dim, c, watch);
                    continue;
                }
                for (std::uint64_t d = 0; d < dim; ++d) {
                    box[d] = std::min(box[d], q[d]);
                    box[dim + d] = std::max(box[dim + d], q[d]);
                }
                members.push_back(q);
            }
            if (!members.empty())
                count_group_within(t, QueryGroup{box.data(), box.data() + dim, members.data(), members.size()}, c,
                                   watch);
            watch.tick(dim * kGroup);
        }
        std::lock_guard<std::mutex> hold(merge);  // sums of integers: the same in any order
        for (std::size_t j = 0; j < mine.size(); ++j) bins[j] += mine[j];
    });
}

}  // namespace tessaron::spatial
