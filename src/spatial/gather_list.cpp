#include "spatial/gather_list.hpp"

#include <algorithm>
#include <cstdint>

namespace tessaron::spatial {

unsigned band_shift(std::uint64_t rows, unsigned threads) {
    const std::uint64_t target = std::max<std::uint64_t>(16, 4 * std::uint64_t{threads});
    unsigned shift = 0;
    while (rows > 0 && shift < 63 && ((rows - 1) >> shift) >= target) ++shift;
    return shift;
}

BandLists* BandGather::take() {
    std::lock_guard<std::mutex> hold(mutex_);
    idle_.reserve(all_.size() + 1);  // so that give_back cannot fail
    if (!idle_.empty()) {
        BandLists* l = idle_.back();
        idle_.pop_back();
        return l;
    }
    BandLists& l = all_.emplace_back();
    l.words.resize(bands_);
    if (distances_) l.distances.resize(bands_);
    return &l;
}

void BandGather::give_back(BandLists* lists) {
    std::lock_guard<std::mutex> hold(mutex_);
    idle_.push_back(lists);
}

std::uint64_t BandGather::words_in(std::uint64_t b) const {
    std::uint64_t n = 0;
    for (const BandLists& l : all_) n += l.words[b].size();
    return n;
}

std::uint64_t BandGather::total() const {
    std::uint64_t n = 0;
    for (std::uint64_t b = 0; b < bands_; ++b) n += words_in(b);
    return n;
}

void touch_pages(void* p, std::uint64_t bytes, Watch& watch) {
    constexpr std::uint64_t kPage = 4096, kPagesPerTick = 64;
    const auto begin = reinterpret_cast<std::uintptr_t>(p), end = begin + bytes;
    std::uint64_t pages = 0;
    for (std::uintptr_t at = begin; at < end; at = (at | (kPage - 1)) + 1) {
        *reinterpret_cast<unsigned char*>(at) = 0;
        // A first touch may clear a whole huge page: count it as such.
        if (++pages % kPagesPerTick == 0) watch.tick(Watch::kTickUnits / 8);
    }
}

}  // namespace tessaron::spatial
