// The density kernels and the approximation criteria of the density
// searches; their names are parsed in names.hpp.
#pragma once

#include <cmath>
#include <cstdint>

namespace tessaron::spatial {

enum class KernelType : std::uint8_t { Gaussian, Epanechnikov, Uniform, Triangular };

struct ApproxCriterion {
    enum class Kind : std::uint8_t { NoApprox, MinSamples, MaxSpan, Combined };
    Kind kind = Kind::NoApprox;
    std::uint64_t min_samples = 0;
    double max_span = 0.0;

    // Whether a node of `count` points and this span is replaced by its estimate.
    bool approximates(std::uint64_t count, double span) const {
        switch (kind) {
            case Kind::MinSamples: return count >= min_samples;
            case Kind::MaxSpan: return span <= max_span;
            case Kind::Combined: return count >= min_samples && span <= max_span;
            case Kind::NoApprox: break;
        }
        return false;
    }
};

// The kernel at scaled distance u; the bounded kernels vanish from u = 1 on.
template <KernelType K>
[[gnu::always_inline]] inline double kernel_value(double u) {
    if constexpr (K == KernelType::Gaussian)
        return std::exp(u * (u * -0.5));
    else if constexpr (K == KernelType::Epanechnikov)
        return u < 1.0 ? 0.75 * (1.0 - u * u) : 0.0;
    else if constexpr (K == KernelType::Uniform)
        return u < 1.0 ? 0.5 : 0.0;
    else
        return u < 1.0 ? 1.0 - u : 0.0;
}

template <class F>
decltype(auto) with_kernel(KernelType k, F&& f) {
    switch (k) {
        case KernelType::Epanechnikov: return f.template operator()<KernelType::Epanechnikov>();
        case KernelType::Uniform: return f.template operator()<KernelType::Uniform>();
        case KernelType::Triangular: return f.template operator()<KernelType::Triangular>();
        case KernelType::Gaussian: break;
    }
    return f.template operator()<KernelType::Gaussian>();
}

}  // namespace tessaron::spatial
