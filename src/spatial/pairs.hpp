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
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "spatial/batch.hpp"
#include "spatial/gather_list.hpp"
#include "spatial/select.hpp"

namespace tessaron::spatial {

// How gathered pairs are kept: by band of first rows (see band_shift),
// each pair one word, its first row within the band above the second
// row's `bits`.
class PairPacking {
public:
    PairPacking(std::uint64_t first_rows, std::uint64_t second_rows, unsigned threads);
    std::uint64_t bands() const { return bands_; }
    std::uint64_t band_of(std::uint64_t first) const { return first >> shift_; }
    std::uint64_t band_start(std::uint64_t band) const { return band << shift_; }
    std::uint64_t rows_in_band(std::uint64_t band) const {
        return std::min(first_rows_ - band_start(band), std::uint64_t{1} << shift_);
    }
    std::uint64_t pack(std::uint64_t first, std::uint64_t second) const {
        return ((first & within_band_) << bits_) | second;
    }
    std::uint64_t first(std::uint64_t band, std::uint64_t word) const {
        return (band << shift_) | (bits_ == 64 ? 0 : word >> bits_);
    }
    std::uint64_t second(std::uint64_t word) const { return word & second_mask_; }

private:
    std::uint64_t first_rows_;
    unsigned shift_ = 0, bits_ = 1;
    std::uint64_t bands_ = 1, within_band_ = 0, second_mask_ = 1;
};

// The pairs a search finds, packed, in lists by band of first rows.
struct PairGather {
    PairGather(std::uint64_t first_rows, std::uint64_t second_rows, bool distances, const Workers& workers)
        : packing(first_rows, second_rows, workers.threads), lists(packing.bands(), distances) {}
    const PairPacking packing;
    BandGather lists;
};

// A gatherer's pair lists held by one chunk.
class HeldPairLists {
public:
    explicit HeldPairLists(PairGather& g) : packing_(g.packing), held_(g.lists), keep_(g.lists.distances()) {}
    void add(std::uint64_t first, std::uint64_t second, double d) {
        const std::uint64_t band = packing_.band_of(first);
        (*held_).words[band].push_back(packing_.pack(first, second));
        if (keep_) (*held_).distances[band].push_back(d);
    }

private:
    const PairPacking& packing_;
    HeldLists held_;
    bool keep_;
};

// Other points as a periodic tree searches them: wrapped into its box, in
// `storage` (a tree's own points lie there already; other metrics take
// them as they are).
template <SearchTree Tree>
PointRows in_box(const Tree& t, PointRows other, std::vector<double>& storage) {
    if (t.points().metric != DistanceMetric::Periodic || other.ranges) return other;
    const std::uint64_t dim = t.points().dim;
    storage.resize(other.m * dim);
    const metrics::Periodic m = t.template metric<metrics::Periodic>();
    for (std::uint64_t i = 0; i < other.m; ++i) m.wrap_query(other.coords + i * dim, dim, storage.data() + i * dim);
    other.coords = storage.data();
    return other;
}

// The pairs i < j of the tree's points within `radius`, each found once:
// from the point in the earlier storage slot, searching the later slots
// only, into `gather` (made for the tree's n rows both ways). A tree of
// finite points is searched a leaf at a time (its points a group, see
// search_group_within); otherwise point by point.
template <SearchTree Tree>
void pairs_within(const Tree& t, double radius, PairGather& gather, const Workers& workers) {
    const PointSet& p = t.points();
    if (p.n < 2) return;
    t.check_query(p.dim);
    const bool grouped = t.group_searches();
    std::vector<NodeId> leaves;  // of points, in slot order
    for (NodeId node = 0; grouped && node < t.node_count(); ++node)
        if (t.range(node).is_leaf() && t.range(node).count() > 0) leaves.push_back(node);
    run_chunks(grouped ? leaves.size() : p.n, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        HeldPairLists mine(gather);
        std::vector<double> box(2 * p.dim);
        std::vector<const double*> members;
        GroupScratch scratch;
        for (std::uint64_t at = begin; at < end; ++at) {
            const SlotRange leaf = grouped ? t.range(leaves[at]) : SlotRange{at, at + 1, 0};
            auto add = [&](std::uint64_t member, double d, std::uint64_t other) {
                const std::uint64_t row = p.rows[leaf.start + member];
                mine.add(std::min(row, other), std::max(row, other), d);
            };
            if (grouped) {
                members.clear();
                for (std::uint64_t slot = leaf.start; slot < leaf.end; ++slot) members.push_back(p.at(slot));
                measure_box(p.at(leaf.start), leaf.count(), p.dim, box.data());
                Within w(radius, leaf.start);
                w.distances = gather.lists.distances();
                search_group_within(t, scratch.group(box.data(), box.data() + p.dim, members, p.dim), w,
                                    leaf.start, add, watch);
            } else {
                search_radius(t, p.at(at), p.dim, Within(radius, at + 1),
                              [&](double d, std::uint64_t other) { add(0, d, other); }, watch);
            }
            watch.tick(p.dim * leaf.count());
        }
    });
}

// The pairs (i of the tree, j of `other`) within `max_distance`, with
// their distances, into `gather` (made for the tree's n first rows and
// other.m second rows). Nearby points of `other` are searched in groups
// (see for_each_group).
template <SearchTree Tree>
void cross_pairs(const Tree& t, PointRows other, double max_distance, PairGather& gather, const Workers& workers) {
    const PointSet& p = t.points();
    if (other.m == 0 || p.n == 0) return;
    t.check_query(p.dim);
    std::vector<double> wrapped;
    other = in_box(t, other, wrapped);
    const Within w(max_distance);
    for_each_group(
        other, p.dim, t.group_searches(), workers, [&] { return std::make_unique<HeldPairLists>(gather); },
        [&](const double* q, std::uint64_t at, auto& mine, Watch& watch) {
            const std::uint64_t j = other.row(at);
            search_radius(t, q, p.dim, w, [&](double d, std::uint64_t i) { mine->add(i, j, d); }, watch);
        },
        [&](const QueryGroup& g, const std::vector<std::uint64_t>& at, auto& mine, Watch& watch) {
            search_group_within(t, g, w, std::uint64_t(-1), [&](std::uint64_t member, double d, std::uint64_t i) {
                mine->add(i, other.row(at[member]), d);
            }, watch);
        },
        [&](auto& mine) { mine.reset(); });
}

// The gathered pairs sorted by first row, then second (so the same
// whatever order they were found in): pair k's rows go to firsts[k * stride]
// and seconds[k * stride], its distance (when kept) to distances[k]. Band
// by band on the workers, each band's lists freed as its part of the
// answer is written, so the memory held peaks near the answer's own.
void write_pairs(PairGather& gather, std::int64_t* firsts, std::int64_t* seconds, std::uint64_t stride,
                 double* distances, const Workers& workers);

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
    std::vector<double> wrapped;
    other = in_box(t, other, wrapped);
    std::vector<double> squared(radii.size());
    std::transform(radii.begin(), radii.end(), squared.begin(), largest_square_within);
    std::mutex merge;
    auto bins_of = [&](std::vector<std::int64_t>& mine) {
        return CountBins{radii.data(), radii.size(), mine.data(), squared.data()};
    };
    for_each_group(
        other, p.dim, t.group_searches(), workers, [&] { return std::vector<std::int64_t>(radii.size(), 0); },
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
