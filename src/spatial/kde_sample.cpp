#include "spatial/kde_sample.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "array/error.hpp"

namespace tessaron::spatial {
namespace {

// Standard normal deviates one at a time from Box-Muller pairs.
class Normals {
public:
    explicit Normals(Generator& g) : g_(g) {}
    double next() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        const auto [a, b] = g_.standard_normal_pair();
        spare_ = b;
        has_spare_ = true;
        return a;
    }

private:
    Generator& g_;
    double spare_ = 0.0;
    bool has_spare_ = false;
};

// A uniform draw in (0, 1): redrawn while 0.
double open_uniform(Generator& g) {
    double u = g.next_f64();
    while (u == 0.0) u = g.next_f64();
    return u;
}

// A unit vector of dim coordinates into out, uniformly on the sphere.
void direction(Normals& normals, std::uint64_t dim, double* out) {
    for (;;) {
        double squares = 0.0;
        for (std::uint64_t j = 0; j < dim; ++j) {
            out[j] = normals.next();
            squares += out[j] * out[j];
        }
        if (squares > 0.0) {
            const double scale = 1.0 / std::sqrt(squares);
            for (std::uint64_t j = 0; j < dim; ++j) out[j] *= scale;
            return;
        }
    }
}

// The distance from the chosen point, in bandwidths, for a radial kernel
// other than the gaussian.
double radius(KdeKernel kernel, std::uint64_t dim, Generator& g) {
    const double inverse_dim = 1.0 / static_cast<double>(dim);
    if (kernel == KdeKernel::Exponential) {  // r^(dim-1) e^-r: a gamma(dim) deviate
        double r = 0.0;
        for (std::uint64_t j = 0; j < dim; ++j) r -= std::log(open_uniform(g));
        return r;
    }
    for (;;) {  // uniform in the unit ball, kept with probability K(r)
        const double r = std::pow(g.next_f64(), inverse_dim);
        if (kernel == KdeKernel::Tophat) return r;
        const double k = with_kde_kernel(kernel, [&]<KdeKernel K>() { return kde_kernel<K>(r, 0.0); });
        if (g.next_f64() < k) return r;
    }
}

}  // namespace

NdArray sample_density(const PointSet& points, const std::vector<double>& weights_by_slot, double h, KdeKernel kernel,
                       std::uint64_t n, Generator& g) {
    const std::uint64_t dim = points.dim, count = points.n;
    if (count == 0 || dim == 0) panic("sampling needs points of at least one coordinate");
    std::vector<double> running;
    if (!weights_by_slot.empty()) {
        running.resize(count);
        std::partial_sum(weights_by_slot.begin(), weights_by_slot.end(), running.begin());
    }
    NdArray out = NdArray::uninit(Shape{n, dim});
    double* x = out.data.data();
    Normals normals(g);
    for (std::uint64_t i = 0; i < n; ++i, x += dim) {
        const double u = g.next_f64();
        std::uint64_t slot = 0;
        if (running.empty()) {
            slot = std::min(static_cast<std::uint64_t>(u * static_cast<double>(count)), count - 1);
        } else {
            const auto at = std::lower_bound(running.begin(), running.end(), u * running.back());
            slot = std::min(static_cast<std::uint64_t>(at - running.begin()), count - 1);
        }
        const double* p = points.at(slot);
        if (kernel == KdeKernel::Gaussian) {
            for (std::uint64_t j = 0; j < dim; ++j) x[j] = p[j] + h * normals.next();
            continue;
        }
        direction(normals, dim, x);
        const double r = h * radius(kernel, dim, g);
        for (std::uint64_t j = 0; j < dim; ++j) x[j] = p[j] + r * x[j];
    }
    return out;
}

}  // namespace tessaron::spatial
