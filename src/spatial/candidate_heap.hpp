// The bounded candidate heap of the k-nearest searches.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaron::spatial {

// The k best candidates of one k-nearest query: a binary max-heap on the
// distance alone, with room for a fixed number of entries. Distances are
// ranked with NaN after every number, so a NaN candidate is the first to go.
class CandidateHeap {
public:
    explicit CandidateHeap(std::uint64_t room);

    bool full() const { return size_ == room_; }
    double worst() const { return entries_[0].distance; }  // only when not empty

    // Whether distance a ranks before b: numbers by value, NaN after them all.
    static bool ranks_before(double a, double b) { return a < b || (b != b && a == a); }

    // Pushed while there is room; when full, replaces the largest candidate
    // only if strictly nearer (so of equal distances the first found stays).
    void offer(double distance, std::uint64_t row) {
        if (size_ < room_)
            push({distance, row});
        else if (ranks_before(distance, entries_[0].distance))
            replace_top({distance, row});
    }

    // Empties the heap for the next query (its room stays).
    void clear() { size_ = 0; }

    // Heap-sorts the candidates into ascending distance and gives their rows.
    std::vector<std::uint64_t> rows_ascending();
    // The same, written as distances and rows (each with the heap's room);
    // places left empty get the distance inf and the row -1.
    void write_ascending(double* distances, std::int64_t* rows);

private:
    struct Entry {
        double distance;
        std::uint64_t row;
    };
    void push(Entry e);
    void replace_top(Entry e);
    void sift_down(std::uint64_t i, std::uint64_t size);
    void sort_ascending();

    std::vector<Entry> entries_;
    std::uint64_t size_ = 0, room_;
};

}  // namespace tessaron::spatial
