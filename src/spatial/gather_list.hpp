// Values a search finds, appended to blocks that never move: no copy as the
// list grows, and a block of 64 KiB or more is mapped on its own (Linux), so
// that freeing it gives its memory back to the system at once. A large
// answer gathered this way can be laid out while its lists are freed,
// without the allocator keeping what they held.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "array/buffer.hpp"
#include "array/watch.hpp"

namespace tessaron::spatial {

template <class T>
class GatherList {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    GatherList() = default;
    GatherList(GatherList&& other) noexcept { *this = std::move(other); }
    GatherList& operator=(GatherList&& other) noexcept {
        if (this != &other) {
            release();
            blocks_ = std::move(other.blocks_);
            used_ = std::exchange(other.used_, 0);
            full_ = std::exchange(other.full_, 0);
            other.blocks_.clear();
        }
        return *this;
    }
    GatherList(const GatherList&) = delete;
    GatherList& operator=(const GatherList&) = delete;
    ~GatherList() { release(); }

    void push_back(T v) {
        if (blocks_.empty() || used_ == blocks_.back().room) grow();
        blocks_.back().data[used_++] = v;
    }
    std::uint64_t size() const { return full_ + used_; }
    bool empty() const { return size() == 0; }

    // The blocks in order: block b holds block_size(b) values. Two lists
    // of values of one size given the same number of values have the same
    // blocks.
    std::size_t blocks() const { return blocks_.size(); }
    const T* block(std::size_t b) const { return blocks_[b].data; }
    std::uint64_t block_size(std::size_t b) const { return b + 1 == blocks_.size() ? used_ : blocks_[b].room; }

    // Frees every block; the list is empty again.
    void release() {
        for (const Block& b : blocks_) free_block(b);
        blocks_.clear();
        used_ = full_ = 0;
    }

private:
    struct Block {
        T* data;
        std::uint64_t room;
    };
    // Blocks double from 4 KiB to 256 KiB: a short list costs little, a long
    // one few system calls.
    static constexpr std::uint64_t kFirstRoom = 4096 / sizeof(T), kLargestRoom = (256 * 1024) / sizeof(T);
    static constexpr std::size_t kMappedBytes = 64 * 1024;

    void grow() {
        const std::uint64_t room = blocks_.empty() ? kFirstRoom : std::min(2 * blocks_.back().room, kLargestRoom);
        blocks_.reserve(blocks_.size() + 1);  // may throw: before the block exists
        const std::size_t bytes = room * sizeof(T);
        void* p = nullptr;
#ifdef TESSARON_MAPPED_SCRATCH
        if (bytes >= kMappedBytes) {
            p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) throw std::bad_alloc();
        } else
#endif
            p = std::malloc(bytes);
        if (!p) throw std::bad_alloc();
        if (!blocks_.empty()) full_ += blocks_.back().room;
        blocks_.push_back({static_cast<T*>(p), room});
        used_ = 0;
    }
    static void free_block(const Block& b) {
#ifdef TESSARON_MAPPED_SCRATCH
        if (b.room * sizeof(T) >= kMappedBytes) {
            munmap(b.data, b.room * sizeof(T));
            return;
        }
#endif
        std::free(b.data);
    }

    std::vector<Block> blocks_;
    std::uint64_t used_ = 0;  // in the last block
    std::uint64_t full_ = 0;  // in the blocks before it
};

// The smallest shift that cuts `rows` rows into bands of 2^shift rows
// numbering at most max(16, 4 per worker): enough for the bands to be laid
// out on every worker, and for a band's lists to be freed while the rest
// of the answer is written.
unsigned band_shift(std::uint64_t rows, unsigned threads);

// One gatherer's values: per band of answer rows, a list of words and (when
// kept) a list of distances beside them, one for each word.
struct BandLists {
    std::vector<GatherList<std::uint64_t>> words;
    std::vector<GatherList<double>> distances;
};

// The lists a search fills. Each running chunk takes a gatherer's lists and
// gives them back when done, so there are as many gatherers as chunks run
// at once, their lists long: few lists, of large blocks.
class BandGather {
public:
    BandGather(std::uint64_t bands, bool distances) : bands_(bands), distances_(distances) {}
    BandGather(const BandGather&) = delete;
    BandGather& operator=(const BandGather&) = delete;

    BandLists* take();
    void give_back(BandLists* lists);
    std::uint64_t bands() const { return bands_; }
    bool distances() const { return distances_; }
    // The words of band b (or of every band), over every gatherer.
    std::uint64_t words_in(std::uint64_t b) const;
    std::uint64_t total() const;
    // Every gatherer's lists: once none is taken any more.
    std::deque<BandLists>& all() { return all_; }

private:
    std::uint64_t bands_;
    bool distances_;
    std::mutex mutex_;
    std::deque<BandLists> all_;
    std::vector<BandLists*> idle_;
};

// A gatherer's lists held by one chunk.
class HeldLists {
public:
    explicit HeldLists(BandGather& g) : gather_(g), lists_(g.take()) {}
    ~HeldLists() { gather_.give_back(lists_); }
    HeldLists(const HeldLists&) = delete;
    HeldLists& operator=(const HeldLists&) = delete;
    BandLists& operator*() const { return *lists_; }

private:
    BandGather& gather_;
    BandLists* lists_;
};

// Writes a zero to the first byte of each page that [p, p + bytes) holds
// from its start: fresh memory about to be written out of order, whose
// pages the system clears as they are first touched (2 MiB at a time with
// huge pages), here between looks at the watch instead of during a
// scatter. Only bytes of the range are written: the pages it shares with
// its neighbours may be written by other threads meanwhile.
void touch_pages(void* p, std::uint64_t bytes, Watch& watch);

}  // namespace tessaron::spatial
