#include "random/generator.hpp"

#include <chrono>
#include <cmath>

namespace tessaron {
namespace {

constexpr double kTwoPi = 6.283185307179586;

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// Box-Muller: log of the first non-zero uniform and angle of the second,
// drawn in that order. The radius sqrt(log * -2) is taken by the caller
// after the trigonometric calls, so its latency does not stall them.
struct Polar {
    double log_u1, theta;
};

}  // namespace

Generator Generator::from_seed(std::uint64_t seed) {
    Generator g;
    for (std::uint64_t i = 1; i <= 4; ++i) {
        std::uint64_t z = seed + i * 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        g.s_[i - 1] = z ^ (z >> 31);
    }
    return g;
}

Generator Generator::from_clock() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    if (since_epoch.count() < 0) panic("Time went backwards: the clock is before the Unix epoch");
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
    return from_seed(static_cast<std::uint64_t>(ns));
}

std::uint64_t Generator::next_u64() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
}

NdArray Generator::uniform(double low, double high, const Shape& shape) {
    if (!(low < high)) panic("low must be less than high");
    NdArray out = NdArray::uninit(shape);
    const double range = high - low;
    for (double& x : out.data) x = low + next_f64() * range;
    return out;
}

NdArray Generator::standard_normal(const Shape& shape) {
    NdArray out = NdArray::uninit(shape);
    auto polar = [this]() {
        double u1 = next_f64();
        while (u1 == 0.0) u1 = next_f64();
        double u2 = next_f64();
        while (u2 == 0.0) u2 = next_f64();
        return Polar{std::log(u1), u2 * kTwoPi};
    };
    auto radius = [](const Polar& p) { return std::sqrt(p.log_u1 * -2.0); };
    double* x = out.data.data();
    const std::size_t n = out.size();
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        const Polar p = polar();
        const double s = std::sin(p.theta), c = std::cos(p.theta);
        const double r = radius(p);
        x[i] = r * s;
        x[i + 1] = r * c;
    }
    if (n % 2 == 1) {
        const Polar p = polar();
        const double s = std::sin(p.theta);
        x[n - 1] = radius(p) * s;
    }
    return out;
}

NdArray Generator::normal(double mu, double sigma, const Shape& shape) {
    NdArray out = standard_normal(shape);
    for (double& x : out.data) x = x * sigma + mu;
    return out;
}

NdArray Generator::lognormal(double mu, double sigma, const Shape& shape) {
    NdArray out = standard_normal(shape);
    for (double& x : out.data) x = std::exp(x * sigma + mu);
    return out;
}

namespace {

// Marsaglia-Tsang for one shape parameter, with the constants that depend
// only on it computed once per array rather than once per sample.
class GammaSampler {
public:
    explicit GammaSampler(double a)
        : boosted_(a < 1.0),
          inv_a_(1.0 / a),
          d_((boosted_ ? a + 1.0 : a) + (-0.3333333333333333)),
          c_(1.0 / std::sqrt(d_ * 9.0)) {}

    double operator()(Generator& g) const {
        if (!boosted_) return core(g);
        // Shape below 1: a sample for a + 1, then one more draw.
        const double x = core(g);
        const double u = g.next_f64();
        return x * std::pow(u, inv_a_);
    }

private:
    double core(Generator& g) const {
        for (;;) {
            const double u1 = g.next_f64(), u2 = g.next_f64();
            // cos first: the square root's latency then overlaps the work
            // that follows instead of stalling before the call (same value).
            const double angle = std::cos(u2 * kTwoPi);
            const double x = std::sqrt(std::log(u1) * -2.0) * angle;
            double v = c_ * x + 1.0;
            if (!(v > 0.0)) continue;  // also rejects NaN
            v = v * (v * v);
            const double u = g.next_f64();
            if (u < 1.0 + x * (x * (x * (x * -0.0331)))) return d_ * v;
            if (std::log(u) < x * (x * 0.5) + d_ * ((1.0 - v) + std::log(v))) return d_ * v;
        }
    }

    bool boosted_;
    double inv_a_, d_, c_;
};

}  // namespace

NdArray Generator::gamma(double shape_param, double scale, const Shape& shape) {
    if (!(shape_param > 0.0)) panic("shape parameter must be positive");
    if (!(scale > 0.0)) panic("scale must be positive");
    NdArray out = NdArray::uninit(shape);
    const GammaSampler sample(shape_param);
    for (double& x : out.data) x = scale * sample(*this);
    return out;
}

NdArray Generator::beta(double alpha, double beta, const Shape& shape) {
    if (!(alpha > 0.0)) panic("alpha must be positive");
    if (!(beta > 0.0)) panic("beta must be positive");
    NdArray out = NdArray::uninit(shape);
    const GammaSampler sample_x(alpha), sample_y(beta);
    for (double& v : out.data) {
        const double x = sample_x(*this);
        const double y = sample_y(*this);
        v = x / (x + y);
    }
    return out;
}

NdArray Generator::randint(std::int64_t low, std::int64_t high, const Shape& shape) {
    if (!(low < high)) panic("low must be less than high");
    NdArray out = NdArray::uninit(shape);
    const std::uint64_t range = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
    for (double& x : out.data)
        x = static_cast<double>(
            static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + next_u64() % range));
    return out;
}

}  // namespace tessaron
