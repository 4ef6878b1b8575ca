// The distance metrics, one small type each: its stored id, its name, its
// point distance and its box distances (to the nearest point and to the
// farthest corner of an axis-aligned box, as the KD-tree measures them).
// `Metrics` lists them; the parser, its message, the dispatcher and the
// check of a stored id all follow from that list.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <tuple>

namespace tessaron::spatial {

// The id a tree stores: the metric's position in `Metrics`.
enum class DistanceMetric : std::uint8_t { Euclidean, Manhattan, Chebyshev };

// The sum of squared differences over the first n coordinates, from 0.0 left
// to right: the Euclidean distance before its square root.
[[gnu::always_inline]] inline double squared_distance(const double* a, const double* b, std::size_t n) {
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double diff = a[i] - b[i];
        s += diff * diff;
    }
    return s;
}

namespace box {

// The gap from q to [lo, hi] along one coordinate, formed from the box's own
// coordinate, so that a sum or maximum of gaps never exceeds, even after
// rounding, the distance to any point in the box.
[[gnu::always_inline]] inline double near_gap(double lo, double hi, double q) {
    return q < lo ? lo - q : (q > hi ? q - hi : 0.0);
}

// Euclidean distance to the nearest point of the box [lo, hi].
[[gnu::always_inline]] inline double euclidean_near(const double* lo, const double* hi, const double* q,
                                                    std::size_t n) {
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double gap = near_gap(lo[i], hi[i], q[i]);
        s += gap * gap;
    }
    return std::sqrt(s);
}

// Euclidean distance to the box's farthest corner.
inline double euclidean_far(const double* lo, const double* hi, const double* q, std::size_t n) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) {
        const double far = std::fabs(q[d] - lo[d]) > std::fabs(q[d] - hi[d]) ? lo[d] : hi[d];
        s += (q[d] - far) * (q[d] - far);
    }
    return std::sqrt(s);
}

}  // namespace box

namespace metrics {

struct Euclidean {
    static constexpr DistanceMetric id = DistanceMetric::Euclidean;
    static constexpr std::string_view name = "euclidean";
    [[gnu::always_inline]] static double distance(const double* a, const double* b, std::size_t n) {
        return std::sqrt(squared_distance(a, b, n));
    }
    [[gnu::always_inline]] static double box_distance(const double* lo, const double* hi, const double* q,
                                                      std::size_t n) {
        return box::euclidean_near(lo, hi, q, n);
    }
    static double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::euclidean_far(lo, hi, q, n);
    }
};

// The KD-tree measures Manhattan boxes in Euclidean terms: the near bound is
// never larger than the L1 one, and the density approximations are defined
// on these two measures.
struct Manhattan {
    static constexpr DistanceMetric id = DistanceMetric::Manhattan;
    static constexpr std::string_view name = "manhattan";
    [[gnu::always_inline]] static double distance(const double* a, const double* b, std::size_t n) {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += std::fabs(a[i] - b[i]);
        return s;
    }
    [[gnu::always_inline]] static double box_distance(const double* lo, const double* hi, const double* q,
                                                      std::size_t n) {
        return box::euclidean_near(lo, hi, q, n);
    }
    static double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::euclidean_far(lo, hi, q, n);
    }
};

// The largest coordinate difference; a NaN difference is passed over, so it
// never becomes the result.
struct Chebyshev {
    static constexpr DistanceMetric id = DistanceMetric::Chebyshev;
    static constexpr std::string_view name = "chebyshev";
    [[gnu::always_inline]] static double distance(const double* a, const double* b, std::size_t n) {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double diff = std::fabs(a[i] - b[i]);
            if (diff > s) s = diff;
        }
        return s;
    }
    [[gnu::always_inline]] static double box_distance(const double* lo, const double* hi, const double* q,
                                                      std::size_t n) {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double gap = box::near_gap(lo[i], hi[i], q[i]);
            if (gap > s) s = gap;
        }
        return s;
    }
    static double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        double m = 0.0;
        for (std::size_t d = 0; d < n; ++d) {
            const double gap = std::max(std::fabs(q[d] - lo[d]), std::fabs(q[d] - hi[d]));
            if (gap > m) m = gap;
        }
        return m;
    }
};

}  // namespace metrics

using Metrics = std::tuple<metrics::Euclidean, metrics::Manhattan, metrics::Chebyshev>;
inline constexpr std::size_t kMetricCount = std::tuple_size_v<Metrics>;

// Calls f.template operator()<M>() with the metric type M whose id is m, so
// that the distances inline into the search loops (one instantiation per metric).
template <std::size_t I = 0, class F>
decltype(auto) with_metric(DistanceMetric m, F&& f) {
    using M = std::tuple_element_t<I, Metrics>;
    static_assert(static_cast<std::size_t>(M::id) == I, "a metric's id is its position in Metrics");
    if constexpr (I + 1 == kMetricCount) {
        return f.template operator()<M>();
    } else {
        if (m == M::id) return f.template operator()<M>();
        return with_metric<I + 1>(m, static_cast<F&&>(f));
    }
}

// Whether a stored byte names a metric.
constexpr bool is_metric_id(std::uint64_t id) { return id < kMetricCount; }

// The metric named `lowered` (already lowercased; `given` for the message).
DistanceMetric parse_metric(std::string_view lowered, std::string_view given);

}  // namespace tessaron::spatial
