// The inner loops of the pair searches: every point of a leaf against every
// member of a group of nearby points, four members at a time. The group is
// laid out coordinate by coordinate (GroupColumns), so that one vector
// register holds a coordinate of four members; the loops are compiled for
// the baseline and for AVX2 and picked per call. Each distance is the
// metric's own sum (or maximum) in coordinate order, so every key is bit for
// bit the scalar one.
#pragma once

#include <cstdint>
#include <vector>

#include "spatial/metrics.hpp"

namespace tessaron::spatial {

// A group's members, coordinate by coordinate: values[d * stride + i] is
// coordinate d of member i; the stride is `members` rounded up to a
// multiple of 4 (the padding is never counted or reported).
struct GroupColumns {
    const double* values = nullptr;
    std::uint64_t members = 0, stride = 0, dim = 0;
    // For wrapped keys: the period of dimension d is period[d * period_stride].
    const double* period = nullptr;
    std::uint64_t period_stride = 0;
};

// The keys of a periodic metric: those of the named metric N over the
// differences wrapped as metrics::Periodic wraps them, min(d, L - d).
template <class N>
struct Wrapped {
    static constexpr DistanceMetric id = N::id;
};
template <class M>
constexpr bool kWrappedKeys = false;
template <class N>
constexpr bool kWrappedKeys<Wrapped<N>> = true;

// Lays out the `count` points (each of dim coordinates) into `storage`.
GroupColumns lay_out_columns(const double* const* points, std::uint64_t count, std::uint64_t dim,
                             std::vector<double>& storage);

// The key of a pair under metric M: its distance, or under the Euclidean
// metric the squared distance (compared with squared thresholds).
//
// For the pairs (member, point) of finite coordinates, with thresholds
// nondecreasing: bins[k] += those whose key lies in (thresholds[k - 1],
// thresholds[k]] (bin 0: at most thresholds[0]), for k < thresholds_count,
// and when `beyond`, bins[thresholds_count] += those above every threshold.
// `points`: `count` rows of g.dim coordinates.
template <class M>
void bin_keys(const GroupColumns& g, const double* points, std::uint64_t count, const double* thresholds,
              std::uint64_t thresholds_count, bool beyond, std::int64_t* bins);

// A pair whose key is within a limit: the member, the point (its position
// among the rows given) and the key.
struct KeyHit {
    std::uint32_t member, point;
    double key;
};

// Every pair (member, point) with key <= limit and member < limits_from + p
// for point p (members all count when limits_from >= g.members), into
// `hits` in point order, then member order; returns how many. `hits` has
// room for count * g.members + 3 entries (the last three as scratch).
template <class M>
std::uint64_t keys_within(const GroupColumns& g, const double* points, std::uint64_t count, double limit,
                          std::uint64_t limits_from, KeyHit* hits);

}  // namespace tessaron::spatial
