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

PairBands::PairBands(std::uint64_t n, const Workers& workers) {
    // One band on one thread; a few per worker otherwise.
    const std::uint64_t target = workers.threads > 1 ? 4 * std::uint64_t{workers.threads} : 1;
    while (n > 0 && shift_ < 63 && ((n - 1) >> shift_) >= target) ++shift_;
    lists_.resize(n == 0 ? 1 : ((n - 1) >> shift_) + 1);
    for (std::uint64_t b = 0; b < lists_.size(); ++b) lists_[b].band = b;
}

void PairBands::hand_over(std::vector<PairList>& all) {
    for (PairList& l : lists_)
        if (!l.first.empty()) all.push_back(std::move(l));
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

void write_pairs(std::vector<PairList>& lists, std::uint64_t n, std::int64_t* firsts, std::int64_t* seconds,
                 std::uint64_t stride, double* distances, const Workers& workers) {
    // A counting sort by the first row straight into the output, then each
    // row's pairs ordered by the second. Lists hold the pairs of one band
    // of first rows: the bands are laid out on the workers, each its own
    // rows, the order within a row then depending on timing alone.
    std::uint64_t bands = 0;
    for (const PairList& l : lists) bands = std::max(bands, l.band + 1);
    std::vector<std::vector<const PairList*>> of_band(bands);
    for (const PairList& l : lists) of_band[l.band].push_back(&l);
    std::vector<std::uint64_t> start(n + 1, 0);
    run_chunks(bands, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        for (std::uint64_t b = begin; b < end; ++b)
            for (const PairList* l : of_band[b]) {
                for (std::uint64_t i : l->first) ++start[i + 1];
                watch.tick(l->first.size());
            }
    });
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    // The first and second rows lie interleaved (stride 2) or apart.
    const std::uint64_t total = start[n];
    if (stride == 2 && seconds == firsts + 1) {
        fault_in(firsts, 2 * total * sizeof(std::int64_t), workers);
    } else if (total > 0) {
        const std::uint64_t span = ((total - 1) * stride + 1) * sizeof(std::int64_t);
        fault_in(firsts, span, workers);
        fault_in(seconds, span, workers);
    }
    if (distances) fault_in(distances, total * sizeof(double), workers);
    run_chunks(bands, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        for (std::uint64_t b = begin; b < end; ++b)
            for (const PairList* l : of_band[b]) {
                for (std::uint64_t k = 0; k < l->first.size(); ++k) {
                    const std::uint64_t at = next[l->first[k]]++;
                    firsts[at * stride] = static_cast<std::int64_t>(l->first[k]);
                    seconds[at * stride] = static_cast<std::int64_t>(l->second[k]);
                    if (distances) distances[at] = l->distances[k];
                }
                watch.tick(2 * l->first.size());
            }
    });
    lists.clear();
    lists.shrink_to_fit();
    run_chunks(n, workers, [&](std::uint64_t begin, std::uint64_t end, Watch& watch) {
        std::vector<std::pair<std::int64_t, double>> scratch;
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t count = start[i + 1] - start[i];
            order_row(seconds + start[i] * stride, stride, distances ? distances + start[i] : nullptr, count, scratch);
            watch.tick(count + 1);
        }
    });
}

}  // namespace tessaron::spatial
