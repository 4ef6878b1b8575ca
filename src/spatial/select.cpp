#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "array/isa.hpp"
#include "spatial/select.hpp"

namespace tessaron::spatial {
namespace {

// lo (box[0, dim)) and hi (box[dim, 2 dim)) of `count` contiguous points; a
// fixed dimension D keeps the running bounds in registers. A NaN coordinate
// compares false and leaves the bound as it is.
template <std::uint64_t D>
[[gnu::always_inline]] inline void box_of(const double* points, std::uint64_t count, std::uint64_t dim,
                                          double* box, Watch* watch) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if constexpr (D == 0) {
        std::fill_n(box, dim, inf);
        std::fill_n(box + dim, dim, -inf);
        in_watched_blocks(0, count, dim, watch, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to; ++i)
                for (std::uint64_t d = 0; d < dim; ++d) {
                    const double x = points[i * dim + d];
                    box[d] = x < box[d] ? x : box[d];
                    box[dim + d] = x > box[dim + d] ? x : box[dim + d];
                }
        });
    } else {
        double lo[D], hi[D];
        for (std::uint64_t d = 0; d < D; ++d) lo[d] = inf, hi[d] = -inf;
        in_watched_blocks(0, count, D, watch, [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to; ++i)
                for (std::uint64_t d = 0; d < D; ++d) {
                    const double x = points[i * D + d];
                    lo[d] = x < lo[d] ? x : lo[d];
                    hi[d] = x > hi[d] ? x : hi[d];
                }
        });
        std::copy_n(lo, D, box);
        std::copy_n(hi, D, box + D);
    }
}

template <std::uint64_t D, class Row>
[[gnu::always_inline]] inline void split_block_body(const SplitBlock<Row>* b) {
    const std::uint64_t dim = D ? D : b->dim, count = b->count, split = b->split;
    const double median = b->median;
    std::uint64_t below = 0, above = 0;
    for (std::uint64_t j = 0; j < count; ++j) {
        below += b->keys[j] < median;
        above += b->keys[j] > median;
    }
    const double* block = b->coords;
    const Row* rows_in = b->rows;
    Row* rows_out = b->to_rows;
    double* coords_out = b->to_coords;
    std::uint64_t next_below = 0, next_equal = below, next_above = count - above;
    in_watched_blocks(0, count, dim, b->watch, [&](std::uint64_t from, std::uint64_t to_end) {
        for (std::uint64_t j = from; j < to_end; ++j) {
            const double* x = block + j * dim;
            const bool is_below = x[split] < median, is_above = x[split] > median;
            // The destination by masks: a conditional jump here would guess wrong half the time.
            const std::uint64_t mb = 0 - std::uint64_t{is_below}, ma = 0 - std::uint64_t{is_above};
            const std::uint64_t to = (next_below & mb) | (next_above & ma) | (next_equal & ~(mb | ma));
            next_below += is_below;
            next_above += is_above;
            next_equal += !is_below && !is_above;
            rows_out[to] = rows_in[j];
            for (std::uint64_t d = 0; d < dim; ++d) coords_out[to * dim + d] = x[d];
        }
    });
    box_of<D>(coords_out, b->half, dim, b->boxes, b->watch);
    box_of<D>(coords_out + b->half * dim, count - b->half, dim, b->boxes + 2 * dim, b->watch);
}

template <std::uint64_t D, class Row>
[[gnu::always_inline]] inline void split_in_place_body(const InPlaceSplit<Row>* b) {
    const std::uint64_t dim = D ? D : b->dim, count = b->count, split = b->split;
    const double median = b->median;
    double* coords = b->coords;
    Row* rows = b->rows;
    std::uint64_t next_below = 0, next_equal = 0, next_above = b->equal;
    in_watched_blocks(0, count, dim, b->watch, [&](std::uint64_t from, std::uint64_t to_end) {
        for (std::uint64_t j = from; j < to_end; ++j) {
            const double* x = coords + j * dim;
            const bool is_below = x[split] < median, is_equal = x[split] == median;
            // Destinations chosen by selects, not jumps (a split of random data is a coin toss):
            // a point below goes to a slot at or before its own, the others aside.
            const std::uint64_t aside = is_equal ? next_equal : next_above;
            double* to = is_below ? coords + next_below * dim : b->aside_coords + aside * dim;
            Row* to_row = is_below ? rows + next_below : b->aside_rows + aside;
            const Row row = rows[j];
            for (std::uint64_t d = 0; d < dim; ++d) to[d] = x[d];
            *to_row = row;
            next_below += is_below;
            next_equal += is_equal;
            next_above += !is_below && !is_equal;
        }
    });
    const std::uint64_t below = b->below, rest = count - below;
    in_watched_blocks(0, rest, dim, b->watch, [&](std::uint64_t from, std::uint64_t to) {
        std::copy_n(b->aside_coords + from * dim, (to - from) * dim, coords + (below + from) * dim);
        std::copy_n(b->aside_rows + from, to - from, rows + below + from);
    });
    box_of<D>(coords, b->half, dim, b->boxes, b->watch);
    box_of<D>(coords + b->half * dim, count - b->half, dim, b->boxes + 2 * dim, b->watch);
}

}  // namespace

void measure_box(const double* points, std::uint64_t count, std::uint64_t dim, double* box, Watch* watch) {
    switch (dim) {
        case 1: return box_of<1>(points, count, dim, box, watch);
        case 2: return box_of<2>(points, count, dim, box, watch);
        case 3: return box_of<3>(points, count, dim, box, watch);
        default: return box_of<0>(points, count, dim, box, watch);
    }
}

// Body<D>(block) for the block's dimension: the common small dimensions get
// loops of fixed length, compiled for the best instruction set.
template <template <std::uint64_t> class Body, class Block>
void by_dimension(const Block& block) {
    switch (block.dim) {
        case 1: return with_best_isa<Body<1>::run>(&block);
        case 2: return with_best_isa<Body<2>::run>(&block);
        case 3: return with_best_isa<Body<3>::run>(&block);
        default: return with_best_isa<Body<0>::run>(&block);
    }
}

template <class Row>
struct SplitBody {
    template <std::uint64_t D>
    struct At {
        static constexpr auto run = split_block_body<D, Row>;
    };
};
template <class Row>
struct InPlaceBody {
    template <std::uint64_t D>
    struct At {
        static constexpr auto run = split_in_place_body<D, Row>;
    };
};

void split_block(const SplitBlock<std::uint32_t>& block) { by_dimension<SplitBody<std::uint32_t>::At>(block); }
void split_block(const SplitBlock<std::uint64_t>& block) { by_dimension<SplitBody<std::uint64_t>::At>(block); }
void split_in_place(const InPlaceSplit<std::uint32_t>& block) { by_dimension<InPlaceBody<std::uint32_t>::At>(block); }
void split_in_place(const InPlaceSplit<std::uint64_t>& block) { by_dimension<InPlaceBody<std::uint64_t>::At>(block); }

}  // namespace tessaron::spatial
