// Many queries in one call: each query is answered by the same search as a
// single query, into its own row of the output, on as many threads as the
// caller allows. Queries are m rows of the tree's dimension, laid out one
// after another. An interrupt (Interrupted) abandons the work.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "spatial/gather_list.hpp"
#include "spatial/locality.hpp"
#include "spatial/parallel.hpp"
#include "spatial/query.hpp"

namespace tessaron::spatial {

// Calls each(i) for every query i of the batch, on the workers: block by
// block, each block in locality order.
template <class MakeState, class Each>
void each_query(const double* queries, std::uint64_t m, std::uint64_t dim, const Workers& workers,
                MakeState&& make_state, Each&& each) {
    std::vector<std::uint64_t> order;
    for (std::uint64_t first = 0; first < m; first += kOrderedBlock) {
        const std::uint64_t count = std::min(kOrderedBlock, m - first);
        locality_order(queries + first * dim, count, dim, order);
        run_chunks(count, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
            auto state = make_state();  // per chunk: what one thread reuses between queries
            for (std::uint64_t at = begin; at < end; ++at) {
                each(first + order[at], state, watch);
                watch.tick(dim);
            }
        });
    }
}

struct NoState {};
inline NoState no_state() { return {}; }

// m points of dim coordinates one after another and, for a tree's points
// (in storage order), the input row of each.
struct PointRows {
    const double* coords = nullptr;
    std::uint64_t m = 0;
    const IndexArray* rows = nullptr;     // none: point i is row i
    const NodeRanges* ranges = nullptr;  // a tree's nodes, whose leaves group its points
    std::uint64_t row(std::uint64_t at) const { return rows ? (*rows)[at] : at; }
    template <SearchTree Tree>
    static PointRows of(const Tree& t) {
        const PointSet& p = t.points();
        return {p.coords.data(), p.n, &p.rows, &t.node_ranges()};
    }
};

// Nearby points searched together: points order[bounds[g]], ...,
// order[bounds[g + 1] - 1] form group g. A tree's points go as stored, its
// leaves the groups (long leaves cut); other points block by block in
// locality order, in groups of 16 (the watch, if any, checked between blocks).
struct Grouping {
    std::vector<std::uint64_t> order, bounds;
    std::uint64_t count() const { return bounds.size() - 1; }
};
Grouping group_points(const PointRows& other, std::uint64_t dim, Watch* watch);

// For each group of `other`, on the workers: group(QueryGroup, the
// members' positions in `other`, state) for its points of finite
// coordinates (all of them finite when `grouped`), single(point, position,
// state) for the others (every point when not `grouped`); a chunk's state
// (make_state()) goes to done(state) when the chunk has finished.
template <class MakeState, class Single, class Group, class Done>
void for_each_group(const PointRows& other, std::uint64_t dim, bool grouped, const Workers& workers,
                    MakeState&& make_state, Single&& single, Group&& group, Done&& done) {
    const Grouping groups = group_points(other, dim, workers.watch);
    run_chunks(groups.count(), workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        auto state = make_state();
        std::vector<double> box(2 * dim);
        std::vector<const double*> members;
        std::vector<std::uint64_t> positions;
        GroupScratch scratch;
        for (std::uint64_t g = begin; g < end; ++g) {
            members.clear();
            positions.clear();
            std::fill_n(box.begin(), dim, HUGE_VAL);
            std::fill_n(box.begin() + dim, dim, -HUGE_VAL);
            for (std::uint64_t at = groups.bounds[g]; at < groups.bounds[g + 1]; ++at) {
                const std::uint64_t i = groups.order[at];
                const double* q = other.coords + i * dim;
                if (!grouped || !all_finite(q, dim)) {
                    single(q, i, state, watch);
                    continue;
                }
                for (std::uint64_t d = 0; d < dim; ++d) {
                    box[d] = std::min(box[d], q[d]);
                    box[dim + d] = std::max(box[dim + d], q[d]);
                }
                members.push_back(q);
                positions.push_back(i);
            }
            if (!members.empty())
                group(scratch.group(box.data(), box.data() + dim, members, dim), positions, state, watch);
            watch.tick(dim * (groups.bounds[g + 1] - groups.bounds[g]));
        }
        done(state);
    });
}

// Row i of the m x min(k, n) outputs: query i's nearest points, nearest
// first, as distances and input rows; only points within `bound`, the
// places left empty holding distance inf and row -1.
template <SearchTree Tree>
void knn_batch(const Tree& t, const double* queries, std::uint64_t m, std::uint64_t k, double bound,
               double* distances, std::int64_t* rows, const Workers& workers) {
    const PointSet& p = t.points();
    const std::uint64_t room = std::min(k, p.n);
    if (room == 0 || m == 0) return;
    t.check_query(p.dim);
    each_query(queries, m, p.dim, workers, [&] { return CandidateHeap(room); },
               [&](std::uint64_t i, CandidateHeap& heap, Watch& watch) {
                   heap.clear();
                   search_knn(t, queries + i * p.dim, p.dim, heap, watch, bound);
                   heap.write_ascending(distances + i * room, rows + i * room);
               });
}

// Row r of the n x min(k, n - 1) outputs: the nearest points to the tree's
// own point of input row r other than itself (left out by its row, so an
// equal point elsewhere is found), as knn_batch gives them.
template <SearchTree Tree>
void knn_graph_batch(const Tree& t, std::uint64_t k, double bound, double* distances, std::int64_t* rows,
                     const Workers& workers) {
    const PointSet& p = t.points();
    const std::uint64_t room = p.n ? std::min(k, p.n - 1) : 0;
    if (room == 0) return;
    t.check_query(p.dim);
    run_chunks(p.n, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        CandidateHeap heap(room + 1);  // itself among them, or one too many
        std::vector<double> found_d(room + 1);
        std::vector<std::int64_t> found_rows(room + 1);
        for (std::uint64_t slot = begin; slot < end; ++slot) {  // slot order: neighbours share leaves
            heap.clear();
            search_knn(t, p.at(slot), p.dim, heap, watch, bound);
            heap.write_ascending(found_d.data(), found_rows.data());
            const auto self = static_cast<std::int64_t>(p.rows[slot]);
            const std::uint64_t out = p.rows[slot] * room;
            for (std::uint64_t j = 0, kept = 0; kept < room; ++j) {
                if (found_rows[j] == self) continue;
                distances[out + kept] = found_d[j];
                rows[out + kept] = found_rows[j];
                ++kept;
            }
            watch.tick(p.dim);
        }
    });
}

// The radius of each query of a batch: one for all, or one per query.
struct Radii {
    const double* values;
    bool per_query = false;
    double operator[](std::uint64_t i) const { return values[per_query ? i : 0]; }
};

struct RadiusOptions {
    bool distances = false;  // keep each point's distance
    bool sorted = false;     // order each answer by distance, ties by input row
};

// Orders one answer of n points by distance, ties by input row.
void sort_by_distance(std::uint64_t* rows, double* distances, std::uint64_t n);

// counts[i]: how many points lie within radii[i] of query i.
template <SearchTree Tree>
void radius_count_batch(const Tree& t, const double* queries, std::uint64_t m, Radii radii, std::int64_t* counts,
                        const Workers& workers) {
    const PointSet& p = t.points();
    if (m == 0) return;
    t.check_query(p.dim);
    each_query(queries, m, p.dim, workers, no_state, [&](std::uint64_t i, NoState, Watch& watch) {
        std::int64_t count = 0;
        search_radius(t, queries + i * p.dim, p.dim, Within(radii[i]), [&](double, std::uint64_t) { ++count; },
                      watch);
        counts[i] = count;
    });
}

// Radius answers as a search gathers them, in lists by band of queries
// (see band_shift): each answer its query's index, then its rows, with
// their distances beside them (when kept; the query's place holds none).
struct AnswerGather {
    AnswerGather(std::uint64_t m, bool distances, const Workers& workers)
        : m(m), shift(band_shift(m, workers.threads)), lists(m == 0 ? 1 : ((m - 1) >> shift) + 1, distances) {}
    std::uint64_t m;
    unsigned shift;
    BandGather lists;
};

// The points within radii[i] of each query i (in walk order unless
// sorted), gathered for compressed rows: sizes[i + 1] gets the size of
// query i's answer (sizes has m + 1 places), the answers go to `gather`.
template <SearchTree Tree>
void radius_gather(const Tree& t, const double* queries, std::uint64_t m, Radii radii, RadiusOptions options,
                   std::int64_t* sizes, AnswerGather& gather, const Workers& workers) {
    const PointSet& p = t.points();
    sizes[0] = 0;
    if (m == 0) return;
    t.check_query(p.dim);
    struct State {
        explicit State(BandGather& g) : held(g) {}
        HeldLists held;
        std::vector<std::uint64_t> rows;  // one answer
        std::vector<double> distances;
    };
    const bool keep = options.distances || options.sorted;
    each_query(queries, m, p.dim, workers, [&] { return std::make_unique<State>(gather.lists); },
               [&](std::uint64_t i, std::unique_ptr<State>& s, Watch& watch) {
                   s->rows.clear();
                   s->distances.clear();
                   search_radius(t, queries + i * p.dim, p.dim, Within(radii[i]), [&](double d, std::uint64_t row) {
                       s->rows.push_back(row);
                       if (keep) s->distances.push_back(d);
                   }, watch);
                   const std::uint64_t count = s->rows.size();
                   sizes[i + 1] = static_cast<std::int64_t>(count);
                   if (count == 0) return;
                   if (options.sorted) sort_by_distance(s->rows.data(), s->distances.data(), count);
                   BandLists& l = *s->held;
                   const std::uint64_t band = i >> gather.shift;
                   GatherList<std::uint64_t>& words = l.words[band];
                   words.push_back(i);
                   for (std::uint64_t row : s->rows) words.push_back(row);
                   if (options.distances) {
                       GatherList<double>& d = l.distances[band];
                       d.push_back(0.0);
                       for (double v : s->distances) d.push_back(v);
                   }
               });
}

// Turns the sizes radius_gather wrote into offsets (m + 1 of them), giving
// the total.
std::uint64_t sizes_to_offsets(std::int64_t* sizes, std::uint64_t m);

// Copies the gathered answers to their places (offsets as sizes_to_offsets
// made them), band by band on the workers, each band's lists freed once
// written; distances only where asked for.
void write_answers(AnswerGather& gather, const std::int64_t* offsets, std::int64_t* rows, double* distances,
                   const Workers& workers);

// out[i]: the density at query i, as kernel_density gives it for that query.
template <SearchTree Tree>
void density_batch(const Tree& t, const double* queries, std::uint64_t m, double h, KernelType kernel,
                   const ApproxCriterion& criterion, double* out, const Workers& workers) {
    check_bandwidth(h);
    const std::uint64_t dim = t.points().dim;
    each_query(queries, m, dim, workers, no_state, [&](std::uint64_t i, NoState, Watch& watch) {
        out[i] = density_at(t, queries + i * dim, h, kernel, criterion, watch);
    });
}

// out[row]: the density at the tree's own point of input row `row` (n values).
template <SearchTree Tree>
void self_density_batch(const Tree& t, double h, KernelType kernel, const ApproxCriterion& criterion, double* out,
                        const Workers& workers) {
    check_bandwidth(h);
    const PointSet& p = t.points();
    run_chunks(p.n, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        for (std::uint64_t slot = begin; slot < end; ++slot)
            out[p.rows[slot]] = density_at(t, p.at(slot), h, kernel, criterion, watch);
    });
}

}  // namespace tessaron::spatial
