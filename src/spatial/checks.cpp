#include "spatial/checks.hpp"

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

}  // namespace tessaron::spatial
