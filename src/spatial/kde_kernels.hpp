// The kernels of the normalised density estimate (KernelDensity): each
// kernel's profile, 1 at distance 0, and the constant that makes it a
// probability density in d dimensions.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

namespace tessaron::spatial {

enum class KdeKernel : std::uint8_t { Gaussian, Tophat, Epanechnikov, Exponential, Linear, Cosine };

// Kernels whose support is unbounded: their terms far from the query can
// underflow, which the density walk then measures relative to the nearest
// point (see kde_kernel's u0).
constexpr bool unbounded(KdeKernel k) { return k == KdeKernel::Gaussian || k == KdeKernel::Exponential; }

// The profile at scaled distance u (distance / bandwidth). The unbounded
// kernels are divided by their value at u0 (0: undivided), so that terms
// near the nearest point stay near 1: exp(-(u - u0)(u + u0) / 2) rather
// than exp(-u^2 / 2). The bounded kernels vanish from u = 1 on.
template <KdeKernel K>
[[gnu::always_inline]] inline double kde_kernel(double u, double u0) {
    if constexpr (K == KdeKernel::Gaussian)
        return std::exp((u - u0) * (u + u0) * -0.5);
    else if constexpr (K == KdeKernel::Exponential)
        return std::exp(u0 - u);
    else if constexpr (K == KdeKernel::Tophat)
        return u < 1.0 ? 1.0 : 0.0;
    else if constexpr (K == KdeKernel::Epanechnikov)
        return u < 1.0 ? 1.0 - u * u : 0.0;
    else if constexpr (K == KdeKernel::Linear)
        return u < 1.0 ? 1.0 - u : 0.0;
    else
        return u < 1.0 ? std::cos(std::numbers::pi / 2 * u) : 0.0;
}

// The log of the profile's value at u0, which kde_kernel divides by.
inline double kde_log_scale(KdeKernel k, double u0) {
    if (k == KdeKernel::Gaussian) return u0 * u0 * -0.5;
    if (k == KdeKernel::Exponential) return -u0;
    return 0.0;
}

template <class F>
decltype(auto) with_kde_kernel(KdeKernel k, F&& f) {
    switch (k) {
        case KdeKernel::Tophat: return f.template operator()<KdeKernel::Tophat>();
        case KdeKernel::Epanechnikov: return f.template operator()<KdeKernel::Epanechnikov>();
        case KdeKernel::Exponential: return f.template operator()<KdeKernel::Exponential>();
        case KdeKernel::Linear: return f.template operator()<KdeKernel::Linear>();
        case KdeKernel::Cosine: return f.template operator()<KdeKernel::Cosine>();
        case KdeKernel::Gaussian: break;
    }
    return f.template operator()<KdeKernel::Gaussian>();
}

// log(1 / (h^d * integral of the profile over d-dimensional space, by the
// Euclidean length)): the density's constant, for every metric alike.
double kde_log_norm(KdeKernel k, std::uint64_t d, double h);

}  // namespace tessaron::spatial
