// The vocabulary the spatial trees share: density kernels and approximation
// criteria (with the parsing of their names), the bounded candidate heap of
// the k-nearest search, the point storage and the flat node table. The
// metrics have their own header.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "array/buffer.hpp"
#include "array/error.hpp"
#include "array/ndarray.hpp"
#include "spatial/index_array.hpp"
#include "spatial/metrics.hpp"
#include "spatial/parallel.hpp"

namespace tessaron::spatial {

enum class KernelType : std::uint8_t { Gaussian, Epanechnikov, Uniform, Triangular };

struct ApproxCriterion {
    enum class Kind : std::uint8_t { NoApprox, MinSamples, MaxSpan, Combined };
    Kind kind = Kind::NoApprox;
    std::uint64_t min_samples = 0;
    double max_span = 0.0;

    // Whether a node of `count` points and this span is replaced by its estimate.
    bool approximates(std::uint64_t count, double span) const {
        switch (kind) {
            case Kind::MinSamples: return count >= min_samples;
            case Kind::MaxSpan: return span <= max_span;
            case Kind::Combined: return count >= min_samples && span <= max_span;
            case Kind::NoApprox: break;
        }
        return false;
    }
};

// Parsing takes the name already lowercased (the binding layer does the
// Unicode lowercasing) and, for the messages, the name as the caller gave it.
KernelType parse_kernel(std::string_view lowered, std::string_view given);
ApproxCriterion parse_criterion(std::string_view lowered, std::string_view given,
                                std::optional<std::uint64_t> min_samples,
                                std::optional<double> max_span);

// The larger (smaller) of two values, passing over a NaN operand as fmax
// (fmin) does, but inline.
inline double max_of(double a, double b) { return a > b || b != b ? a : b; }
inline double min_of(double a, double b) { return a < b || b != b ? a : b; }

// The kernel at scaled distance u; the bounded kernels vanish from u = 1 on.
template <KernelType K>
[[gnu::always_inline]] inline double kernel_value(double u) {
    if constexpr (K == KernelType::Gaussian)
        return std::exp(u * (u * -0.5));
    else if constexpr (K == KernelType::Epanechnikov)
        return u < 1.0 ? 0.75 * (1.0 - u * u) : 0.0;
    else if constexpr (K == KernelType::Uniform)
        return u < 1.0 ? 0.5 : 0.0;
    else
        return u < 1.0 ? 1.0 - u : 0.0;
}

template <class F>
decltype(auto) with_kernel(KernelType k, F&& f) {
    switch (k) {
        case KernelType::Epanechnikov: return f.template operator()<KernelType::Epanechnikov>();
        case KernelType::Uniform: return f.template operator()<KernelType::Uniform>();
        case KernelType::Triangular: return f.template operator()<KernelType::Triangular>();
        case KernelType::Gaussian: break;
    }
    return f.template operator()<KernelType::Gaussian>();
}

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

// Room for n elements, on transparent huge pages where the system has them:
// a build writes its large arrays once, and takes a fault per 2 MiB, not 4 KiB.
template <class T>
void reserve_on_huge_pages(std::vector<T>& v, std::size_t n) {
    v.reserve(n);
    advise_huge_pages(v.data(), n * sizeof(T));
}

// The tree's own copy of the points and the permutation from storage slots
// to input rows. `coords` is in storage order (slot i holds input row
// rows[i]), so that a leaf's points are one contiguous run.
struct PointSet {
    std::vector<double> coords;
    IndexArray rows;  // storage slot -> input row
    std::uint64_t n = 0, dim = 0;
    DistanceMetric metric = DistanceMetric::Euclidean;

    // The watch (if any) is ticked as the coordinates are copied.
    static PointSet from_ndarray(const NdArray& array, DistanceMetric metric, Watch* watch = nullptr);
    // The points of n rows of dim coordinates given in row-major order.
    static PointSet from_coords(std::vector<double> coords, std::uint64_t n, std::uint64_t dim, DistanceMetric metric,
                                Watch* watch = nullptr);
    const double* at(std::uint64_t slot) const { return coords.data() + slot * dim; }
    // Whether every coordinate is finite (no NaN, no infinity).
    bool finite(Watch* watch = nullptr) const;
};

// A node's slot range [start, end) and its second child; the first child of
// an internal node is the next node (nodes are stored in pre-order), and
// right == 0 marks a leaf (the root is never a right child).
using NodeId = std::uint64_t;
struct SlotRange {
    std::uint64_t start, end;
    NodeId right;
    bool is_leaf() const { return right == 0; }
    std::uint64_t count() const { return end - start; }
};

// The slot ranges of a tree's nodes, by node id, packed as IndexArray packs.
class NodeRanges {
public:
    // For ranges over up to `largest` slots and as many nodes.
    explicit NodeRanges(std::uint64_t largest = 0) : v_(largest) {}
    std::uint64_t size() const { return v_.size() / 3; }
    SlotRange operator[](NodeId node) const { return {v_[3 * node], v_[3 * node + 1], v_[3 * node + 2]}; }
    NodeId push(std::uint64_t start, std::uint64_t end, NodeId right = 0) {
        v_.push_back(start);
        v_.push_back(end);
        v_.push_back(right);
        return size() - 1;
    }
    void set_right(NodeId node, NodeId right) { v_.set(3 * node + 2, right); }
    void reserve(std::uint64_t nodes) { v_.reserve(3 * nodes); }

private:
    IndexArray v_;
};

// Whether every one of n values is finite; whether one is infinite.
bool all_finite(const double* x, std::size_t n);
bool any_infinite(const double* x, std::size_t n);
bool any_nan(const double* x, std::size_t n);

// A sliver above the rounding errors of a bound formed from two distances
// a and b: (a + b) * 2^-40, or where that sum overflows the same from the
// halves (an infinite b taken as the largest double).
inline double rounding_sliver(double a, double b) {
    const double s = (a + b) * 0x1p-40;
    if (s != HUGE_VAL) return s;
    return a * 0x1p-40 + (b < HUGE_VAL ? b : 0x1.fffffffffffffp1023) * 0x1p-40;
}

// A query must be as long as the points: a shorter one fails as a read at
// its end would, a longer one as a read past the points' end would.
void check_query_length(std::size_t len, std::uint64_t dim);

// A density's bandwidth must be a positive number (an Error otherwise).
void check_bandwidth(double h);

// "Expected 2D array (n_points, dim)" unless the array is two-dimensional.
void check_points_array(const NdArray& array);
// Checks density queries: two-dimensional with `dim` columns.
void check_density_queries(const NdArray& queries, std::uint64_t dim);

}  // namespace tessaron::spatial
