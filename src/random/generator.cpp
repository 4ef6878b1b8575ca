#include "random/generator.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>

namespace tessaron {
namespace {

constexpr double kTwoPi = 6.283185307179586;

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

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

Generator Generator::from_state(const std::array<std::uint64_t, 4>& s) {
    if ((s[0] | s[1] | s[2] | s[3]) == 0) fail("Invalid pickled Generator state: all words are zero");
    Generator g;
    g.s_ = s;
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

// Single draws after the parameter check, shared by both forms of a method.
namespace {

void check_low_below_high(bool ok) {
    if (!ok) panic("low must be less than high");
}

[[gnu::always_inline]] inline double uniform_draw(Generator& g, double low, double range) {
    return low + g.next_f64() * range;
}

[[gnu::always_inline]] inline std::int64_t randint_draw(Generator& g, std::int64_t low,
                                                        std::uint64_t range) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + g.next_u64() % range);
}

std::uint64_t int_range(std::int64_t low, std::int64_t high) {
    return static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
}

}  // namespace

NdArray Generator::uniform(double low, double high, const Shape& shape) {
    check_low_below_high(low < high);
    NdArray out = NdArray::uninit(shape);
    const double range = high - low;
    if (range == HUGE_VAL && std::isfinite(low) && std::isfinite(high)) {
        // high - low overflowed: the same draw scaled by the half range, which
        // is finite, and kept at or below high.
        const double half = high * 0.5 - low * 0.5;
        for (double& x : out.data) {
            const double step = next_f64() * half;
            x = std::min((low + step) + step, high);
        }
        return out;
    }
    // Unrolled: the loop is short enough that its speed otherwise depends on
    // where the linker happens to place it. Rounding may reach high, never pass it.
#pragma GCC unroll 4
    for (double& x : out.data) x = std::min(uniform_draw(*this, low, range), high);
    return out;
}

std::pair<double, double> Generator::standard_normal_pair() {
    // Box-Muller: log of the first non-zero uniform and angle of the second,
    // drawn in that order. The radius is taken after the trigonometric calls
    // so that its latency overlaps them.
    double u1 = next_f64();
    while (u1 == 0.0) u1 = next_f64();
    double u2 = next_f64();
    while (u2 == 0.0) u2 = next_f64();
    const double log_u1 = std::log(u1), theta = u2 * kTwoPi;
    const double s = std::sin(theta), c = std::cos(theta);
    const double r = std::sqrt(log_u1 * -2.0);
    return {r * s, r * c};
}

NdArray Generator::standard_normal(const Shape& shape) {
    NdArray out = NdArray::uninit(shape);
    double* x = out.data.data();
    const std::size_t n = out.size();
    for (std::size_t i = 0; i + 1 < n; i += 2) std::tie(x[i], x[i + 1]) = standard_normal_pair();
    if (n % 2 == 1) x[n - 1] = standard_normal_pair().first;
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

    // The same draws as operator(), keeping what the sample's logarithm
    // needs (it stays finite where a tiny sample underflows to 0).
    struct Parts {
        double value, core, u;
    };
    Parts parts(Generator& g) const {
        const double x = core(g);
        if (!boosted_) return {x, x, 1.0};
        const double u = g.next_f64();
        return {x * std::pow(u, inv_a_), x, u};
    }
    double log_of(const Parts& p) const { return std::log(p.core) + (boosted_ ? std::log(p.u) * inv_a_ : 0.0); }

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

void check_gamma_parameters(double shape_param, double scale) {
    if (!(shape_param > 0.0)) panic("shape parameter must be positive");
    if (!(scale > 0.0)) panic("scale must be positive");
}

void check_beta_parameters(double alpha, double beta) {
    if (!(alpha > 0.0)) panic("alpha must be positive");
    if (!(beta > 0.0)) panic("beta must be positive");
}

// x / (x + y) for one gamma(alpha) and one gamma(beta) sample, in that order.
// Where both underflow to 0 (tiny shapes) or their sum overflows, the ratio
// comes from their logarithms: 1 / (1 + exp(log y - log x)).
double beta_draw(Generator& g, const GammaSampler& sample_x, const GammaSampler& sample_y) {
    const GammaSampler::Parts x = sample_x.parts(g);
    const GammaSampler::Parts y = sample_y.parts(g);
    const double sum = x.value + y.value;
    if (sum > 0.0 && sum < HUGE_VAL) return x.value / sum;
    const double diff = sample_y.log_of(y) - sample_x.log_of(x);
    return diff != diff ? 0.5 : 1.0 / (1.0 + std::exp(diff));
}

}  // namespace

NdArray Generator::gamma(double shape_param, double scale, const Shape& shape) {
    check_gamma_parameters(shape_param, scale);
    NdArray out = NdArray::uninit(shape);
    const GammaSampler sample(shape_param);
    for (double& x : out.data) x = scale * sample(*this);
    return out;
}

NdArray Generator::beta(double alpha, double beta, const Shape& shape) {
    check_beta_parameters(alpha, beta);
    NdArray out = NdArray::uninit(shape);
    const GammaSampler sample_x(alpha), sample_y(beta);
    for (double& v : out.data) v = beta_draw(*this, sample_x, sample_y);
    return out;
}

std::int64_t Generator::randint(std::int64_t low, std::int64_t high) {
    check_low_below_high(low < high);
    return randint_draw(*this, low, int_range(low, high));
}

NdArray Generator::randint(std::int64_t low, std::int64_t high, const Shape& shape) {
    check_low_below_high(low < high);
    NdArray out = NdArray::uninit(shape);
    const std::uint64_t range = int_range(low, high);
    for (double& x : out.data) x = static_cast<double>(randint_draw(*this, low, range));
    return out;
}

}  // namespace tessaron
