#include "spatial/point_set.hpp"

#include <cmath>
#include <numeric>

#include "spatial/checks.hpp"

namespace tessaron::spatial {

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
