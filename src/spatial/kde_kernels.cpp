#include "spatial/kde_kernels.hpp"

namespace tessaron::spatial {
namespace {

// log of the volume of the unit ball in d dimensions.
double log_unit_ball(double d) { return 0.5 * d * std::log(std::numbers::pi) - std::lgamma(0.5 * d + 1.0); }

// The integral of r^(d-1) cos(pi r / 2) over [0, 1], by the series of the
// cosine: sum over k of (-1)^k (pi/2)^(2k) / ((2k)! (2k + d)). Its terms
// fall fast and their cancellation costs about log10(d) digits, where the
// recurrences by parts lose digits factorially in d.
double cosine_moment(double d) {
    const double a2 = std::numbers::pi * std::numbers::pi / 4.0;
    double sum = 0.0, power = 1.0;  // (-1)^k (pi/2)^(2k) / (2k)!
    for (int k = 0; k < 60; ++k) {
        sum += power / (2.0 * k + d);
        power *= -a2 / ((2.0 * k + 1.0) * (2.0 * k + 2.0));
    }
    return sum;
}

}  // namespace

double kde_log_norm(KdeKernel k, std::uint64_t dim, double h) {
    const double d = static_cast<double>(dim);
    // The integral of the profile over space: the unit sphere's area d * V_d
    // times the profile's radial moment, the integral of K(r) r^(d-1).
    const double log_sphere = std::log(d) + log_unit_ball(d);
    double log_integral = 0.0;
    switch (k) {
        case KdeKernel::Gaussian: log_integral = 0.5 * d * std::log(2.0 * std::numbers::pi); break;
        case KdeKernel::Tophat: log_integral = log_unit_ball(d); break;
        case KdeKernel::Epanechnikov: log_integral = log_unit_ball(d) + std::log(2.0 / (d + 2.0)); break;
        case KdeKernel::Exponential: log_integral = log_sphere + std::lgamma(d); break;
        case KdeKernel::Linear: log_integral = log_unit_ball(d) - std::log(d + 1.0); break;
        case KdeKernel::Cosine: log_integral = log_sphere + std::log(cosine_moment(d)); break;
    }
    return -log_integral - d * std::log(h);
}

}  // namespace tessaron::spatial
