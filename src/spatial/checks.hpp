// The checks of what callers hand the trees: points, queries, bandwidths.
// A failure is an Error (a bad value) or a panic (a bad shape), as the
// messages say.
#pragma once

#include <cstddef>
#include <cstdint>

#include "array/ndarray.hpp"
#include "spatial/metrics.hpp"

namespace tessaron::spatial {

// A query must be as long as the points: a shorter one fails as a read at
// its end would, a longer one as a read past the points' end would.
void check_query_length(std::size_t len, std::uint64_t dim);

// A density's bandwidth must be a positive number (an Error otherwise).
void check_bandwidth(double h);

// "Expected 2D array (n_points, dim)" unless the array is two-dimensional.
void check_points_array(const NdArray& array);
// Checks density queries: two-dimensional with `dim` columns.
void check_density_queries(const NdArray& queries, std::uint64_t dim);

// Whether a metric suits points of `dim` coordinates in a tree that bounds
// distances by boxes of coordinates (the KD-tree) or not: an Error naming
// the metric otherwise. Haversine takes two coordinates and no boxes; a
// period has one value for all dimensions or one for each.
void check_metric_fits(DistanceMetric metric, const MetricParams& params, std::uint64_t dim, bool box_tree);
// Whether n points of dim coordinates (row-major) lie in [0, L) in each
// dimension of finite period L: an Error naming the first that does not.
void check_points_in_box(const double* coords, std::uint64_t n, std::uint64_t dim, const MetricParams& params);

}  // namespace tessaron::spatial
