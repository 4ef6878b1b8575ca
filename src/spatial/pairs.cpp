#include "spatial/pairs.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <numeric>
#include <utility>

namespace tessaron::spatial {

PairPacking::PairPacking(std::uint64_t first_rows, std::uint64_t second_rows, unsigned threads)
    : first_rows_(first_rows), shift_(band_shift(first_rows, threads)) {
    bits_ = second_rows > 1 ? static_cast<unsigned>(std::bit_width(second_rows - 1)) : 1;
    // A pair must fit one word: narrower bands where rows are very many.
    shift_ = std::min(shift_, 64 - bits_);
    bands_ = first_rows == 0 ? 1 : ((first_rows - 1) >> shift_) + 1;
    within_band_ = (std::uint64_t{1} << shift_) - 1;
    second_mask_ = bits_ == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits_) - 1;
}

namespace {

// Orders one row's pairs by second row (distances, if any, moving along).
// Rows are mostly short: those are ordered in place.
void order_row(std::int64_t* seconds, std::uint64_t stride, double* distances, std::uint64_t count,
               std::vector<std::pair<std::int64_t, double>>& scratch) {
    if (count <= 32) {
        for (std::uint64_t a = 1; a < count; ++a) {
            const std::int64_t second = seconds[a * stride];
            const double d = distances ? distances[a] : 0.0;
            std::uint64_t b = a;
            for (; b > 0 && seconds[(b - 1) * stride] > second; --b) {
                seconds[b * stride] = seconds[(b - 1) * stride];
                if (distances) distances[b] = distances[b - 1];
            }
            seconds[b * stride] = second;
            if (distances) distances[b] = d;
        }
        return;
    }
    scratch.clear();
    for (std::uint64_t k = 0; k < count; ++k) scratch.emplace_back(seconds[k * stride], distances ? distances[k] : 0.0);
    // Second rows differ within a row: the order is total.
    std::sort(scratch.begin(), scratch.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::uint64_t k = 0; k < count; ++k) {
        seconds[k * stride] = scratch[k].first;
        if (distances) distances[k] = scratch[k].second;
    }
}

}  // namespace

void write_pairs(PairGather& gather, std::int64_t* firsts, std::int64_t* seconds, std::uint64_t stride,
                 double* distances, const Workers& workers) {
    // A counting sort by the first row straight into the output, then each
    // row's pairs ordered by the second. Bands hold their own first rows: a
    // band's part of the answer is laid out by one thread, and the order
    // of a row's pairs before the last step depends on timing alone.
    const PairPacking& pack = gather.packing;
    std::deque<BandLists>& all = gather.lists.all();
    const std::uint64_t bands = pack.bands();
    std::vector<std::uint64_t> band_end(bands + 1, 0);  // pairs of the bands before
    for (std::uint64_t b = 0; b < bands; ++b) band_end[b + 1] = gather.lists.words_in(b);
    std::partial_sum(band_end.begin(), band_end.end(), band_end.begin());
    const bool interleaved = stride == 2 && seconds == firsts + 1;
    run_chunks(bands, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        std::vector<std::uint64_t> start, next;
        std::vector<std::pair<std::int64_t, double>> scratch;
        for (std::uint64_t b = begin; b < end; ++b) {
            const std::uint64_t first_row = pack.band_start(b), base = band_end[b], count = band_end[b + 1] - base;
            if (count == 0) continue;
            // Where each row of the band starts.
            start.assign(pack.rows_in_band(b) + 1, 0);
            for (const BandLists& l : all) {
                const GatherList<std::uint64_t>& words = l.words[b];
                for (std::size_t block = 0; block < words.blocks(); ++block) {
                    const std::uint64_t* w = words.block(block);
                    const std::uint64_t n = words.block_size(block);
                    for (std::uint64_t k = 0; k < n; ++k) ++start[pack.first(b, w[k]) - first_row + 1];
                    watch.tick(n / 8 + 1);
                }
            }
            std::partial_sum(start.begin(), start.end(), start.begin());
            next.assign(start.begin(), start.end() - 1);
            // The band's part of the answer, its pages first.
            std::int64_t* const band_firsts = firsts + base * stride;
            std::int64_t* const band_seconds = seconds + base * stride;
            double* const band_distances = distances ? distances + base : nullptr;
            if (interleaved) {
                touch_pages(band_firsts, 2 * count * sizeof(std::int64_t), watch);
            } else {
                const std::uint64_t span = ((count - 1) * stride + 1) * sizeof(std::int64_t);
                touch_pages(band_firsts, span, watch);
                touch_pages(band_seconds, span, watch);
            }
            if (band_distances) touch_pages(band_distances, count * sizeof(double), watch);
            // Scattered by first row, each list freed once written. A list's
            // distances lie in blocks as its pairs do.
            for (BandLists& l : all) {
                GatherList<std::uint64_t>& words = l.words[b];
                for (std::size_t block = 0; block < words.blocks(); ++block) {
                    const std::uint64_t* w = words.block(block);
                    const double* d = band_distances ? l.distances[b].block(block) : nullptr;
                    const std::uint64_t n = words.block_size(block);
                    for (std::uint64_t k = 0; k < n; ++k) {
                        const std::uint64_t first = pack.first(b, w[k]);
                        const std::uint64_t at = next[first - first_row]++;
                        band_firsts[at * stride] = static_cast<std::int64_t>(first);
                        band_seconds[at * stride] = static_cast<std::int64_t>(pack.second(w[k]));
                        if (d) band_distances[at] = d[k];
                    }
                    watch.tick(n / 4 + 1);
                }
                words.release();
                if (band_distances) l.distances[b].release();
            }
            for (std::uint64_t r = 0; r + 1 < start.size(); ++r) {
                const std::uint64_t row_count = start[r + 1] - start[r];
                order_row(band_seconds + start[r] * stride, stride,
                          band_distances ? band_distances + start[r] : nullptr, row_count, scratch);
                watch.tick(row_count + 1);
            }
        }
    });
}

}  // namespace tessaron::spatial
