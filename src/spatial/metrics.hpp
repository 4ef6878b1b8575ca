// The distance metrics, one small type each: its stored id, its name, its
// point distance and its box distances: box_distance, to the nearest point
// of an axis-aligned box, never more than the distance to any point in it
// (the KD-tree's search bound); near_box_distance and far_box_distance, the
// nearest and farthest measures the KD-tree's densities are defined on.
// `Metrics` lists them; the parser, its message, the dispatcher and the
// check of a stored id all follow from that list.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <tuple>
#include <vector>

namespace tessaron::spatial {

// The id a tree stores: the metric's position in `Metrics`.
enum class DistanceMetric : std::uint8_t { Euclidean, Manhattan, Chebyshev, Minkowski, Haversine, Periodic };

// The parameters a tree keeps beside its metric's id: Minkowski's p, and
// for a periodic metric its family's p and the period of each dimension
// (or one for all; inf: no wrap). The other metrics have none.
struct MetricParams {
    double p = 0.0;
    std::vector<double> period;
    bool period_for_all = false;
    bool operator==(const MetricParams&) const = default;
};

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

// The largest s with sqrt(s) <= r (sqrt is monotone and correctly rounded),
// so that comparing a squared distance with s decides as comparing its root
// with r would; -1 for a negative r, which no distance meets.
inline double largest_square_within(double r) {
    if (r < 0.0) return -1.0;
    if (!(r < HUGE_VAL)) return r;  // inf, or NaN, which nothing is within
    double s = r * r;
    while (s > 0.0 && std::sqrt(s) > r) s = std::nextafter(s, 0.0);
    while (std::sqrt(std::nextafter(s, HUGE_VAL)) <= r) s = std::nextafter(s, HUGE_VAL);
    return s;
}

namespace box {

// The gap from q to [lo, hi] along one coordinate, formed from the box's own
// coordinate, so that a sum or maximum of gaps never exceeds, even after
// rounding, the distance to any point in the box.
[[gnu::always_inline]] inline double near_gap(double lo, double hi, double q) {
    return q < lo ? lo - q : (q > hi ? q - hi : 0.0);
}

// The gap from q to the far end of [lo, hi] along one coordinate.
inline double far_gap(double lo, double hi, double q) {
    const double far = std::fabs(q - lo) > std::fabs(q - hi) ? lo : hi;
    return std::fabs(q - far);
}

// The square root of the sum of squared gaps when the plain sum overflowed:
// the gaps scaled by the largest first (an infinite gap gives infinity).
template <class Gap>
double rescaled_root(std::size_t n, Gap gap) {
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, gap(i));
    if (!std::isfinite(largest)) return largest;
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double g = gap(i) / largest;
        s += g * g;
    }
    return largest * std::sqrt(s);
}

// Euclidean distance to the nearest point of the box [lo, hi]. Where the
// squares overflow although the gaps do not, the gaps are rescaled.
[[gnu::always_inline]] inline double euclidean_near(const double* lo, const double* hi, const double* q,
                                                    std::size_t n) {
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double gap = near_gap(lo[i], hi[i], q[i]);
        s += gap * gap;
    }
    if (s == HUGE_VAL) [[unlikely]]
        return rescaled_root(n, [&](std::size_t i) { return near_gap(lo[i], hi[i], q[i]); });
    return std::sqrt(s);
}

// Euclidean distance to the box's farthest corner, rescaled as above.
inline double euclidean_far(const double* lo, const double* hi, const double* q, std::size_t n) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) {
        const double gap = far_gap(lo[d], hi[d], q[d]);
        s += gap * gap;
    }
    if (s == HUGE_VAL) return rescaled_root(n, [&](std::size_t d) { return far_gap(lo[d], hi[d], q[d]); });
    return std::sqrt(s);
}

// The larger distance from q to an end of [lo, hi] along one coordinate,
// no smaller than |q - x| (rounded) for any x in it; NaN when either end
// gives NaN, so that the bound built from it says nothing.
inline double far_gap_or_nan(double lo, double hi, double q) {
    const double a = std::fabs(q - lo), b = std::fabs(q - hi);
    return a != a || b != b ? a + b : (a > b ? a : b);
}

// Upper bounds on the distance, as the metric's distance computes it, from
// q to any point of the box: the gaps are each at least the point's own
// difference and are summed in the same order, which rounding keeps so.
// Not rescaled: where the squares overflow, so may the points' distances.
inline double euclidean_far_bound(const double* lo, const double* hi, const double* q, std::size_t n) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) {
        const double gap = far_gap_or_nan(lo[d], hi[d], q[d]);
        s += gap * gap;
    }
    return std::sqrt(s);
}
inline double manhattan_far_bound(const double* lo, const double* hi, const double* q, std::size_t n) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) s += far_gap_or_nan(lo[d], hi[d], q[d]);
    return s;
}
inline double chebyshev_far_bound(const double* lo, const double* hi, const double* q, std::size_t n) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) {
        const double gap = far_gap_or_nan(lo[d], hi[d], q[d]);
        if (gap != gap) return gap;  // the point's distance might pass over this coordinate, or not
        if (gap > s) s = gap;
    }
    return s;
}

// Bounds on the distance, as the metric computes it, between any point of
// the box [alo, ahi] and any point of the box [blo, bhi]: per coordinate the
// least and the largest difference, each formed from the boxes' own
// coordinates (rounding keeps them below and above every point's), summed
// or maximised in the metric's order. NaN where a coordinate gives NaN.
struct BoxPair {
    const double *alo, *ahi, *blo, *bhi;
    double near_gap(std::size_t d) const {
        const double below = blo[d] - ahi[d], above = alo[d] - bhi[d];
        return below > 0.0 ? below : (above > 0.0 ? above : (below != below || above != above ? below + above : 0.0));
    }
    double far_gap(std::size_t d) const {
        const double a = std::fabs(ahi[d] - blo[d]), b = std::fabs(bhi[d] - alo[d]);
        return a != a || b != b ? a + b : (a > b ? a : b);
    }
};
inline double euclidean_between(const BoxPair& p, std::size_t n, bool far) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) {
        const double gap = far ? p.far_gap(d) : p.near_gap(d);
        s += gap * gap;
    }
    return std::sqrt(s);
}
inline double manhattan_between(const BoxPair& p, std::size_t n, bool far) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) s += far ? p.far_gap(d) : p.near_gap(d);
    return s;
}
inline double chebyshev_between(const BoxPair& p, std::size_t n, bool far) {
    double s = 0.0;
    for (std::size_t d = 0; d < n; ++d) {
        const double gap = far ? p.far_gap(d) : p.near_gap(d);
        if (gap != gap) return gap;
        if (gap > s) s = gap;
    }
    return s;
}

}  // namespace box

namespace metrics {

// The KD-tree's density measures of a box in Euclidean terms.
struct EuclideanDensityBoxes {
    static double near_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::euclidean_near(lo, hi, q, n);
    }
    static double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::euclidean_far(lo, hi, q, n);
    }
};

struct Euclidean : EuclideanDensityBoxes {
    static constexpr DistanceMetric id = DistanceMetric::Euclidean;
    static constexpr std::string_view name = "euclidean";
    static constexpr bool kByName = true, kGroupKeys = true, kReducedScan = false;
    static constexpr double absolute_slack() { return 0.0; }
    static constexpr bool group_keys() { return kGroupKeys; }
    static constexpr Euclidean of(const MetricParams&) { return {}; }
    [[gnu::always_inline]] static double distance(const double* a, const double* b, std::size_t n) {
        return std::sqrt(squared_distance(a, b, n));
    }
    [[gnu::always_inline]] static double box_distance(const double* lo, const double* hi, const double* q,
                                                      std::size_t n) {
        return box::euclidean_near(lo, hi, q, n);
    }
    static double far_bound(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::euclidean_far_bound(lo, hi, q, n);
    }
    static double between_boxes(const box::BoxPair& p, std::size_t n, bool far) {
        return box::euclidean_between(p, n, far);
    }
};

// Searches cut by the L1 box distance (a sum of gaps, each at most the
// point's own difference, so never above its distance, even rounded). The
// KD-tree's densities measure Manhattan boxes in Euclidean terms.
struct Manhattan : EuclideanDensityBoxes {
    static constexpr DistanceMetric id = DistanceMetric::Manhattan;
    static constexpr std::string_view name = "manhattan";
    static constexpr bool kByName = true, kGroupKeys = true, kReducedScan = false;
    static constexpr double absolute_slack() { return 0.0; }
    static constexpr bool group_keys() { return kGroupKeys; }
    static constexpr Manhattan of(const MetricParams&) { return {}; }
    [[gnu::always_inline]] static double distance(const double* a, const double* b, std::size_t n) {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += std::fabs(a[i] - b[i]);
        return s;
    }
    [[gnu::always_inline]] static double box_distance(const double* lo, const double* hi, const double* q,
                                                      std::size_t n) {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += box::near_gap(lo[i], hi[i], q[i]);
        return s;
    }    static double far_bound(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::manhattan_far_bound(lo, hi, q, n);
    }
    static double between_boxes(const box::BoxPair& p, std::size_t n, bool far) {
        return box::manhattan_between(p, n, far);
    }
};

// The largest coordinate difference; a NaN difference is passed over, so it
// never becomes the result.
struct Chebyshev {
    static constexpr DistanceMetric id = DistanceMetric::Chebyshev;
    static constexpr std::string_view name = "chebyshev";
    static constexpr bool kByName = true, kGroupKeys = true, kReducedScan = false;
    static constexpr double absolute_slack() { return 0.0; }
    static constexpr bool group_keys() { return kGroupKeys; }
    static constexpr Chebyshev of(const MetricParams&) { return {}; }
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
    static double near_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box_distance(lo, hi, q, n);
    }
    static double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) {
        double m = 0.0;
        for (std::size_t d = 0; d < n; ++d) {
            const double gap = std::max(std::fabs(q[d] - lo[d]), std::fabs(q[d] - hi[d]));
            if (gap > m) m = gap;
        }
        return m;
    }    static double far_bound(const double* lo, const double* hi, const double* q, std::size_t n) {
        return box::chebyshev_far_bound(lo, hi, q, n);
    }
    static double between_boxes(const box::BoxPair& p, std::size_t n, bool far) {
        return box::chebyshev_between(p, n, far);
    }
};

// The p-norm of the differences for a real p >= 1 other than 1, 2 and inf
// (those are Manhattan, Euclidean and Chebyshev): the sum from 0.0, in
// coordinate order, of the terms |a[i] - b[i]|^p (for a whole p up to 64
// the product of p factors, left to right; pow otherwise), then pow(sum,
// 1 / p). The searches compare the sums (`reduced`) where they can and take
// the root of the points they report. Its box bounds are the same forms of
// the gaps, moved outwards by a sliver: pow is within an ulp of the true
// power, not certain to be monotone.
struct Minkowski {
    static constexpr DistanceMetric id = DistanceMetric::Minkowski;
    static constexpr std::string_view name = "minkowski";
    static constexpr bool kByName = false, kGroupKeys = false, kReducedScan = true;
    static constexpr double absolute_slack() { return 0.0; }
    static constexpr bool group_keys() { return kGroupKeys; }
    static constexpr unsigned kLargestWhole = 64;

    double p, inv_p;
    unsigned whole;  // p as a count of factors, or 0 to use pow

    static Minkowski of(const MetricParams& m) {
        const bool is_whole = m.p >= 1.0 && m.p <= kLargestWhole && m.p == std::floor(m.p);
        return {m.p, 1.0 / m.p, is_whole ? static_cast<unsigned>(m.p) : 0u};
    }
    [[gnu::always_inline]] double term(double x) const {
        if (whole == 0) return std::pow(x, p);
        double t = x;
        for (unsigned i = 1; i < whole; ++i) t *= x;
        return t;
    }
    [[gnu::always_inline]] double reduced(const double* a, const double* b, std::size_t n) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += term(std::fabs(a[i] - b[i]));
        return s;
    }
    [[gnu::always_inline]] double root(double s) const { return std::pow(s, inv_p); }
    [[gnu::always_inline]] double distance(const double* a, const double* b, std::size_t n) const {
        return root(reduced(a, b, n));
    }
    // A sum above this has a root of at least d (inf where no such sum is
    // sure: a power out of the normal range, or p too large for the sliver).
    double reduced_limit(double d) const {
        const double power = term(d);
        if (!(d >= 0x1p-300) || !(power >= 0x1p-1000) || !(p < 2048.0)) return HUGE_VAL;
        return power * (1.0 + 0x1p-40);
    }
    static double below(double x) { return x * (1.0 - 0x1p-44); }
    static double above(double x) { return x * (1.0 + 0x1p-44); }
    double box_distance(const double* lo, const double* hi, const double* q, std::size_t n) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += term(box::near_gap(lo[i], hi[i], q[i]));
        return below(root(s));
    }
    double near_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) const {
        return box_distance(lo, hi, q, n);
    }
    double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += term(box::far_gap(lo[i], hi[i], q[i]));
        return above(root(s));
    }
    double far_bound(const double* lo, const double* hi, const double* q, std::size_t n) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += term(box::far_gap_or_nan(lo[i], hi[i], q[i]));
        return above(root(s));
    }
    double between_boxes(const box::BoxPair& pair, std::size_t n, bool far) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s += term(far ? pair.far_gap(i) : pair.near_gap(i));
        return far ? above(root(s)) : below(root(s));
    }
};

// The great-circle distance, in radians, between points of two coordinates
// (latitude, longitude, in radians), as scikit-learn's haversine metric
// forms it: h = sin(0.5 * (a0 - b0))^2 + cos(a0) * cos(b0) * sin(0.5 *
// (a1 - b1))^2, multiplied left to right, and 2 * asin(sqrt(min(h, 1))).
// Near antipodal points the root magnifies h's rounding (an error of up to
// about 4e-8 rad where h is 1 - 1e-16), so bounds built from distances by
// the triangle inequality are lowered by absolute_slack() beyond the sliver.
// Boxes of coordinates bound no great-circle distance: the box bounds say
// nothing (the KD-tree refuses this metric; group searches are not used).
struct Haversine {
    static constexpr DistanceMetric id = DistanceMetric::Haversine;
    static constexpr std::string_view name = "haversine";
    static constexpr bool kByName = false, kGroupKeys = false, kReducedScan = true;
    static constexpr double absolute_slack() { return 1e-7; }
    static constexpr bool group_keys() { return kGroupKeys; }
    static constexpr Haversine of(const MetricParams&) { return {}; }

    [[gnu::always_inline]] static double reduced(const double* a, const double* b, std::size_t n) {
        if (n < 2) [[unlikely]]
            return std::numeric_limits<double>::quiet_NaN();  // never: trees of this metric hold 2 coordinates
        const double s0 = std::sin(0.5 * (a[0] - b[0])), s1 = std::sin(0.5 * (a[1] - b[1]));
        return s0 * s0 + std::cos(a[0]) * std::cos(b[0]) * s1 * s1;
    }
    [[gnu::always_inline]] static double root(double h) {
        return 2.0 * std::asin(std::sqrt(h < 1.0 || h != h ? h : 1.0));
    }
    [[gnu::always_inline]] static double distance(const double* a, const double* b, std::size_t n) {
        return root(reduced(a, b, n));
    }
    // A sum above this has a root of at least d (inf where none is sure).
    static double reduced_limit(double d) {
        if (!(d >= 0x1p-500)) return HUGE_VAL;
        const double s = std::sin(0.5 * d);
        return s * s * (1.0 + 0x1p-40);
    }
    static double box_distance(const double*, const double*, const double*, std::size_t) { return 0.0; }
    static double near_box_distance(const double*, const double*, const double*, std::size_t) { return 0.0; }
    static double far_box_distance(const double*, const double*, const double*, std::size_t) { return HUGE_VAL; }
    static double far_bound(const double*, const double*, const double*, std::size_t) { return HUGE_VAL; }
    static double between_boxes(const box::BoxPair&, std::size_t, bool far) { return far ? HUGE_VAL : 0.0; }
};

// The Minkowski family on a torus: in each dimension i with a finite period
// L, the difference d = |a[i] - b[i]| of two points of [0, L) is wrapped,
// min(d, L - d); the wrapped differences are then combined as the family's
// p combines them (a root of the sum of squares for 2, the sum for 1, the
// largest for inf, Minkowski's terms and root otherwise). Queries are
// wrapped into the box before a search (wrap_query); a tree's points lie
// in it (checked at the build). The box bounds wrap each gap the same way.
// Rounding of L - d is absolute, not relative: bounds move out by
// absolute_slack() beyond the sliver.
struct Periodic {
    static constexpr DistanceMetric id = DistanceMetric::Periodic;
    static constexpr std::string_view name = "periodic";
    static constexpr bool kByName = false, kGroupKeys = true, kReducedScan = true;
    enum class Kind : std::uint8_t { Sum, Squares, Largest, Powers };

    Kind kind;
    Minkowski powers;      // for Kind::Powers
    const double* period;  // one per dimension, or one for all (stride 0); inf: no wrap
    std::size_t stride;
    double slack;

    static Periodic of(const MetricParams& m) {
        const Kind kind = m.p == 1.0        ? Kind::Sum
                          : m.p == 2.0      ? Kind::Squares
                          : m.p == HUGE_VAL ? Kind::Largest
                                            : Kind::Powers;
        double largest = 0.0;
        for (double L : m.period)
            if (L < HUGE_VAL && L > largest) largest = L;
        const std::size_t stride = m.period_for_all ? 0 : 1;
        return {kind, Minkowski::of(MetricParams{m.p, {}, false}), m.period.data(), stride,
                largest * 0x1p-48 * static_cast<double>(m.period.size() + 4)};
    }
    double absolute_slack() const { return slack; }
    // Group searches take the sums, squares and largest differences (wrapped
    // differences under the named metrics' keys), not other powers.
    bool group_keys() const { return kind != Kind::Powers; }
    [[gnu::always_inline]] double period_of(std::size_t i) const { return period[i * stride]; }
    [[gnu::always_inline]] double wrapped(double d, std::size_t i) const {
        const double L = period_of(i);
        return L < HUGE_VAL && L - d < d ? L - d : d;
    }
    [[gnu::always_inline]] double combine(double s, double w) const {
        switch (kind) {
            case Kind::Sum: return s + w;
            case Kind::Squares: return s + w * w;
            case Kind::Largest: return w > s || w != w ? w : s;  // NaN stays
            case Kind::Powers: break;
        }
        return s + powers.term(w);
    }
    [[gnu::always_inline]] double reduced(const double* a, const double* b, std::size_t n) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s = combine(s, wrapped(std::fabs(a[i] - b[i]), i));
        return s;
    }
    [[gnu::always_inline]] double root(double s) const {
        switch (kind) {
            case Kind::Squares: return std::sqrt(s);
            case Kind::Powers: return powers.root(s);
            default: return s;
        }
    }
    [[gnu::always_inline]] double distance(const double* a, const double* b, std::size_t n) const {
        return root(reduced(a, b, n));
    }
    double reduced_limit(double d) const {
        switch (kind) {
            case Kind::Squares: return d >= 0x1p-500 ? d * d * (1.0 + 0x1p-50) : HUGE_VAL;
            case Kind::Powers: return powers.reduced_limit(d);
            default: return d == d ? d : HUGE_VAL;
        }
    }
    // Gaps from q to the box [lo, hi] along dimension i, nearest and
    // farthest, over the box's periodic images (q, lo and hi in [0, L)).
    double near_gap(double lo, double hi, double q, std::size_t i) const {
        const double g = box::near_gap(lo, hi, q), L = period_of(i);
        if (!(L < HUGE_VAL) || g == 0.0) return g;
        return q < lo ? std::min(g, q + L - hi) : std::min(g, lo + L - q);
    }
    double far_gap(double lo, double hi, double q, std::size_t i) const {
        const double g = box::far_gap_or_nan(lo, hi, q), L = period_of(i);
        return L < HUGE_VAL && g > 0.5 * L ? 0.5 * L : g;
    }
    double lower(double s) const { return std::max(root(s) * (1.0 - 0x1p-44) - slack, 0.0); }
    double upper(double s) const { return root(s) * (1.0 + 0x1p-44) + slack; }
    // The nearest (kFar false) or farthest possible distance from q to the
    // box, lowered or raised by the rounding slack.
    template <bool kFar>
    double box_bound(const double* lo, const double* hi, const double* q, std::size_t n) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            s = combine(s, kFar ? far_gap(lo[i], hi[i], q[i], i) : near_gap(lo[i], hi[i], q[i], i));
        return kFar ? upper(s) : lower(s);
    }
    double box_distance(const double* lo, const double* hi, const double* q, std::size_t n) const {
        return box_bound<false>(lo, hi, q, n);
    }
    double near_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) const {
        return box_bound<false>(lo, hi, q, n);
    }
    double far_bound(const double* lo, const double* hi, const double* q, std::size_t n) const {
        return box_bound<true>(lo, hi, q, n);
    }
    double far_box_distance(const double* lo, const double* hi, const double* q, std::size_t n) const {
        return far_bound(lo, hi, q, n);
    }
    // Between two boxes in the box: per dimension the direct gap, or the gap
    // round the other way (L less the farthest difference); at most L / 2.
    double between_boxes(const box::BoxPair& pair, std::size_t n, bool far) const {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double L = period_of(i), g = far ? pair.far_gap(i) : pair.near_gap(i);
            double w = g;
            if (L < HUGE_VAL) w = far ? (g > 0.5 * L ? 0.5 * L : g) : std::min(g, L - pair.far_gap(i));
            s = combine(s, w > 0.0 ? w : 0.0);
        }
        return far ? upper(s) : lower(s);
    }
    // q wrapped into the box: itself where it lies in [0, L), otherwise
    // x - floor(x / L) * L (0 where that rounds to L; NaN for an infinity).
    void wrap_query(const double* q, std::size_t n, double* out) const {
        for (std::size_t i = 0; i < n; ++i) {
            const double x = q[i], L = period_of(i);
            if (!(L < HUGE_VAL) || (x >= 0.0 && x < L) || x != x) {
                out[i] = x;
            } else if (!std::isfinite(x)) {
                out[i] = std::numeric_limits<double>::quiet_NaN();  // no place on the torus
            } else {
                const double r = x - std::floor(x / L) * L;
                out[i] = r >= 0.0 && r < L ? r : 0.0;
            }
        }
    }
};

}  // namespace metrics

using Metrics = std::tuple<metrics::Euclidean, metrics::Manhattan, metrics::Chebyshev, metrics::Minkowski,
                           metrics::Haversine, metrics::Periodic>;
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

}  // namespace tessaron::spatial
