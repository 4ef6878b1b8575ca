#include "spatial/checks.hpp"

#include <string>

#include "array/error.hpp"

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

void check_metric_fits(DistanceMetric metric, std::uint64_t dim, bool box_tree) {
    if (metric != DistanceMetric::Haversine) return;
    if (box_tree)
        fail("metric: the KDTree does not take 'haversine' (boxes of latitudes and longitudes bound no "
             "great-circle distance); use BallTree or VPTree");
    if (dim != 2)
        fail("metric: 'haversine' takes points of 2 coordinates (latitude, longitude in radians), not " +
             std::to_string(dim));
}

}  // namespace tessaron::spatial
