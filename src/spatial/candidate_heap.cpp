#include "spatial/candidate_heap.hpp"

#include <limits>
#include <utility>

namespace tessaron::spatial {

CandidateHeap::CandidateHeap(std::uint64_t room) : room_(room) { entries_.resize(room); }

void CandidateHeap::push(Entry e) {
    std::uint64_t i = size_++;
    while (i > 0) {
        const std::uint64_t parent = (i - 1) / 2;
        if (!ranks_before(entries_[parent].distance, e.distance)) break;
        entries_[i] = entries_[parent];
        i = parent;
    }
    entries_[i] = e;
}

void CandidateHeap::replace_top(Entry e) {
    entries_[0] = e;
    sift_down(0, size_);
}

void CandidateHeap::sift_down(std::uint64_t i, std::uint64_t size) {
    const Entry e = entries_[i];
    for (;;) {
        std::uint64_t child = 2 * i + 1;
        if (child >= size) break;
        if (child + 1 < size && ranks_before(entries_[child].distance, entries_[child + 1].distance)) ++child;
        if (!ranks_before(e.distance, entries_[child].distance)) break;
        entries_[i] = entries_[child];
        i = child;
    }
    entries_[i] = e;
}

void CandidateHeap::sort_ascending() {
    for (std::uint64_t end = size_; end > 1; --end) {  // move the largest behind the heap
        std::swap(entries_[0], entries_[end - 1]);
        sift_down(0, end - 1);
    }
}

void CandidateHeap::write_ascending(double* distances, std::int64_t* rows) {
    sort_ascending();
    for (std::uint64_t i = 0; i < size_; ++i) {
        distances[i] = entries_[i].distance;
        rows[i] = static_cast<std::int64_t>(entries_[i].row);
    }
    for (std::uint64_t i = size_; i < room_; ++i) {  // places a distance bound left empty
        distances[i] = std::numeric_limits<double>::infinity();
        rows[i] = -1;
    }
}

std::vector<std::uint64_t> CandidateHeap::rows_ascending() {
    sort_ascending();
    std::vector<std::uint64_t> rows(size_);
    for (std::uint64_t i = 0; i < size_; ++i) rows[i] = entries_[i].row;
    return rows;
}

}  // namespace tessaron::spatial
