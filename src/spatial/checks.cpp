#include "spatial/checks.hpp"

#include <cmath>
#include <string>

#include "array/error.hpp"
#include "spatial/names.hpp"

namespace tessaron::spatial {

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

void check_metric_fits(DistanceMetric metric, const MetricParams& params, std::uint64_t dim, bool box_tree) {
    if (metric == DistanceMetric::Periodic && !params.period_for_all && params.period.size() != dim)
        fail("metric: the period has " + std::to_string(params.period.size()) + " values, the points " +
             std::to_string(dim) + " coordinates");
    if (metric != DistanceMetric::Haversine) return;
    if (box_tree)
        fail("metric: the KDTree does not take 'haversine' (boxes of latitudes and longitudes bound no "
             "great-circle distance); use BallTree or VPTree");
    if (dim != 2)
        fail("metric: 'haversine' takes points of 2 coordinates (latitude, longitude in radians), not " +
             std::to_string(dim));
}

void check_points_in_box(const double* coords, std::uint64_t n, std::uint64_t dim, const MetricParams& params) {
    if (params.period.empty()) return;
    for (std::uint64_t row = 0; row < n; ++row)
        for (std::uint64_t d = 0; d < dim; ++d) {
            const double L = params.period[params.period_for_all ? 0 : d], x = coords[row * dim + d];
            if (L < HUGE_VAL && !(x >= 0.0 && x < L))
                fail("metric: the points must lie in [0, period) in each periodic dimension (row " +
                     std::to_string(row) + ", coordinate " + std::to_string(d) + ": " + number_text(x) + ")");
        }
}

}  // namespace tessaron::spatial
