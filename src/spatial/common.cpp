#include "spatial/common.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <string>
#include <type_traits>

namespace tessaron::spatial {

DistanceMetric parse_metric(std::string_view lowered, std::string_view given) {
    return [&]<class... M>(std::type_identity<std::tuple<M...>>) {
        DistanceMetric out{};
        if (((lowered == M::name ? (out = M::id, true) : false) || ...)) return out;
        // Appended piecewise: GCC 12 warns falsely about operator+ chains here.
        std::string message = "Unknown distance metric '";
        message += given;
        message += "'. Valid options: ";
        bool first = true;
        ((message += first ? "'" : ", '", message += M::name, message += "'", first = false), ...);
        fail(message);
    }(std::type_identity<Metrics>{});
}

KernelType parse_kernel(std::string_view lowered, std::string_view given) {
    if (lowered == "gaussian") return KernelType::Gaussian;
    if (lowered == "epanechnikov") return KernelType::Epanechnikov;
    if (lowered == "uniform") return KernelType::Uniform;
    if (lowered == "triangular") return KernelType::Triangular;
    fail("Unknown kernel type '" + std::string(given) +
         "'. Valid options: 'gaussian', 'epanechnikov', 'uniform', 'triangular'");
}

ApproxCriterion parse_criterion(std::string_view lowered, std::string_view given,
                                std::optional<std::uint64_t> min_samples,
                                std::optional<double> max_span) {
    using Kind = ApproxCriterion::Kind;
    auto require = [](bool present, const char* param, const char* criterion) {
        if (!present)
            fail(std::string(param) + " parameter required for '" + criterion + "' criterion");
    };
    if (lowered == "none") return {};
    if (lowered == "min_samples") {
        require(min_samples.has_value(), "min_samples", "min_samples");
        return {Kind::MinSamples, *min_samples, 0.0};
    }
    if (lowered == "max_span") {
        require(max_span.has_value(), "max_span", "max_span");
        return {Kind::MaxSpan, 0, *max_span};
    }
    if (lowered == "combined") {
        require(min_samples.has_value(), "min_samples", "combined");
        require(max_span.has_value(), "max_span", "combined");
        return {Kind::Combined, *min_samples, *max_span};
    }
    fail("Unknown approximation criterion '" + std::string(given) +
         "'. Valid options: 'none', 'min_samples', 'max_span', 'combined'");
}

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

bool PointSet::finite(Watch* watch) const {
    bool finite = true;
    in_watched_blocks(0, coords.size(), 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        finite = finite && all_finite(coords.data() + from, to - from);
    });
    return finite;
}

bool all_finite(const double* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(x[i])) return false;
    return true;
}

bool any_infinite(const double* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (std::isinf(x[i])) return true;
    return false;
}

bool any_nan(const double* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (std::isnan(x[i])) return true;
    return false;
}

void check_query_length(std::size_t len, std::uint64_t dim) {
    if (len < dim) panic_out_of_bounds(len, len);
    if (len > dim) panic_out_of_bounds(dim, dim);
}

void check_bandwidth(double h) {
    if (!(h > 0.0)) fail("bandwidth must be a positive number");
}

void check_points_array(const NdArray& array) {
    if (array.ndim() != 2) panic("Expected 2D array (n_points, dim)");
}

void check_density_queries(const NdArray& queries, std::uint64_t dim) {
    if (queries.ndim() != 2) panic("Expected 2D array (n_queries, dim)");
    check_eq(queries.shape[1], dim, "Query dimension must match tree dimension");
}

PointSet PointSet::from_ndarray(const NdArray& array, DistanceMetric metric, Watch* watch) {
    check_points_array(array);
    std::vector<double> coords;
    reserve_on_huge_pages(coords, array.data.size());
    in_watched_blocks(0, array.data.size(), 1, watch, [&](std::uint64_t from, std::uint64_t to) {
        coords.insert(coords.end(), array.data.begin() + from, array.data.begin() + to);
    });
    return from_coords(std::move(coords), array.shape[0], array.shape[1], metric, watch);
}

PointSet PointSet::from_coords(std::vector<double> coords, std::uint64_t n, std::uint64_t dim, DistanceMetric metric,
                               Watch* watch) {
    std::uint64_t size = 0;
    if (!mul_fits(n, dim, size) || size != coords.size()) panic("the coordinates are not n rows of dim");
    PointSet p;
    p.n = n;
    p.dim = dim;
    p.metric = metric;
    p.coords = std::move(coords);
    p.rows = IndexArray(p.n);
    p.rows.visit([&]<class Row>(std::vector<Row>& rows) {
        rows.reserve(p.n);
        in_watched_blocks(0, p.n, 1, watch, [&](std::uint64_t from, std::uint64_t to) {
            rows.resize(to);
            std::iota(rows.begin() + from, rows.end(), static_cast<Row>(from));
        });
    });
    return p;
}

}  // namespace tessaron::spatial
