// Many queries in one call: each query is answered by the same search as a
// single query, into its own row of the output, on as many threads as the
// caller allows. Queries are m rows of the tree's dimension, laid out one
// after another. An interrupt (Interrupted) abandons the work.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

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

// Row i of the m x min(k, n) outputs: query i's nearest points, nearest
// first, as distances and input rows.
template <SearchTree Tree>
void knn_batch(const Tree& t, const double* queries, std::uint64_t m, std::uint64_t k, double* distances,
               std::int64_t* rows, const Workers& workers) {
    const PointSet& p = t.points();
    const std::uint64_t room = std::min(k, p.n);
    if (room == 0 || m == 0) return;
    t.check_query(p.dim);
    each_query(queries, m, p.dim, workers, [&] { return CandidateHeap(room); },
               [&](std::uint64_t i, CandidateHeap& heap, Watch& watch) {
                   heap.clear();
                   search_knn(t, queries + i * p.dim, p.dim, heap, watch);
                   heap.write_ascending(distances + i * room, rows + i * room);
               });
}

// out[i]: the input rows within `radius` of query i, in walk order.
template <SearchTree Tree>
void radius_batch(const Tree& t, const double* queries, std::uint64_t m, double radius,
                  std::vector<std::vector<std::uint64_t>>& out, const Workers& workers) {
    const PointSet& p = t.points();
    out.assign(m, {});
    if (m == 0) return;
    t.check_query(p.dim);
    each_query(queries, m, p.dim, workers, no_state, [&](std::uint64_t i, NoState, Watch& watch) {
        search_radius(t, queries + i * p.dim, p.dim, radius, out[i], watch);
    });
}

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
