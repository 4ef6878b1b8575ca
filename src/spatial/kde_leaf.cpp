#include "spatial/kde_leaf.hpp"

#include <bit>

#include "array/isa.hpp"

// v4 values pass between always-inline functions compiled into one ISA
// variant each: the ABI note about 32-byte vectors concerns no real call.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tessaron::spatial {
namespace {

// exp(x) for four x at once: x = n ln2 + r with |r| <= ln2 / 2 (ln2 split in
// two so that n * ln2_hi is exact), exp(r) by its Taylor polynomial of degree
// 13 (truncation below 1e-17), times 2^n built in the exponent bits. Below
// -708 the result would be subnormal: 0 there.
[[gnu::always_inline]] inline v4 exp4(v4 x) {
    const v4 shifter = v4{} + 0x1.8p52, log2e = v4{} + 0x1.71547652b82fep0;
    const v4 ln2_hi = v4{} + 0x1.62e42fee00000p-1, ln2_lo = v4{} + 0x1.a39ef35793c76p-33;
    const v4 lowest = v4{} - 708.0;
    const v4_mask normal = x >= lowest;
    x = normal ? x : lowest;  // keeps the exponent bits below in range
    const v4 t = x * log2e + shifter;  // n in the low bits of t
    const v4 n = t - shifter;
    const v4 r = (x - n * ln2_hi) - n * ln2_lo;
    v4 p = v4{} + 1.0 / 6227020800.0;  // 1/13!
    const double inverse_factorials[] = {1.0 / 479001600.0, 1.0 / 39916800.0, 1.0 / 3628800.0, 1.0 / 362880.0,
                                         1.0 / 40320.0,     1.0 / 5040.0,     1.0 / 720.0,     1.0 / 120.0,
                                         1.0 / 24.0,        1.0 / 6.0,        0.5,             1.0,
                                         1.0};
    for (double f : inverse_factorials) p = p * r + f;
    const v4_mask bits = ((std::bit_cast<v4_mask>(t) - std::bit_cast<v4_mask>(shifter)) + 1023) << 52;
    const v4 y = p * std::bit_cast<v4>(bits);
    return std::bit_cast<v4>(std::bit_cast<v4_mask>(y) & normal);
}

// cos(x) for x in [0, pi/2], four at once, as libm reduces it: below pi/4
// its Taylor polynomial in x^2; above, sin(r) with r = pi/2 - x taken with
// pi/2 in two parts (so that r keeps its relative precision as cos(x)
// nears 0). Both polynomials truncate below 1e-17 on [0, pi/4].
[[gnu::always_inline]] inline v4 cos4(v4 x) {
    const v4 pio2_hi = v4{} + 0x1.921fb54442d18p0, pio2_lo = v4{} + 0x1.1a62633145c07p-54;
    const v4_mask near = x < v4{} + 0x1.921fb54442d18p-1;
    const v4 r = (pio2_hi - x) + pio2_lo;
    const v4 c2 = x * x, s2 = r * r;
    v4 c = v4{} + 1.0 / 20922789888000.0;   // 1/16!
    v4 sn = v4{} + 1.0 / 355687428096000.0;  // 1/17!
    const double cos_terms[] = {-1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0, 1.0 / 40320.0,
                                -1.0 / 720.0,         1.0 / 24.0,        -0.5,             1.0};
    const double sin_terms[] = {-1.0 / 1307674368000.0, 1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0,
                                -1.0 / 5040.0,          1.0 / 120.0,        -1.0 / 6.0,        1.0};
    for (double t : cos_terms) c = c * c2 + t;
    for (double t : sin_terms) sn = sn * s2 + t;
    return near ? c : sn * r;
}

[[gnu::always_inline]] inline v4 sqrt4(v4 s) {
    v4 r;
    for (int l = 0; l < 4; ++l) r[l] = __builtin_sqrt(s[l]);
    return r;
}

// The kernel's terms at squared distances s.
template <KdeKernel K>
[[gnu::always_inline]] inline v4 kernel4(v4 s, const LeafKernel& k) {
    const v4 zero{}, one = v4{} + 1.0;
    if constexpr (K == KdeKernel::Gaussian) {
        const double d0 = k.u0 * k.h;
        return exp4((s - d0 * d0) * (-0.5 / (k.h * k.h)));
    } else {
        const v4 u = sqrt4(s) / k.h;
        const v4_mask inside = u < one;
        if constexpr (K == KdeKernel::Exponential) return exp4(k.u0 - u);
        else if constexpr (K == KdeKernel::Tophat) return inside ? one : zero;
        else if constexpr (K == KdeKernel::Epanechnikov) return inside ? one - u * u : zero;
        else if constexpr (K == KdeKernel::Linear) return inside ? one - u : zero;
        else return inside ? cos4(std::numbers::pi / 2 * (inside ? u : zero)) : zero;
    }
}

// Squared distances from q to points p[0..3] (row-major).
[[gnu::always_inline]] inline v4 squares4(const double* q, const double* p, std::uint64_t dim) {
    v4 s{};
    for (std::uint64_t j = 0; j < dim; ++j) {
        const v4 d = v4{q[j], q[j], q[j], q[j]} - v4{p[j], p[dim + j], p[2 * dim + j], p[3 * dim + j]};
        s = s + d * d;
    }
    return s;
}

template <KdeKernel K, bool Weighted>
[[gnu::always_inline]] inline double leaf_sum(const LeafKernel& k, const double* q, const double* points,
                                              std::uint64_t n, std::uint64_t dim, const double* weights) {
    v4 lanes{};
    std::uint64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const v4 t = kernel4<K>(squares4(q, points + i * dim, dim), k);
        if constexpr (Weighted)
            lanes = lanes + t * v4{weights[i], weights[i + 1], weights[i + 2], weights[i + 3]};
        else
            lanes = lanes + t;
    }
    if (i == n) return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    // The last one to three points, their squared distances one at a time.
    v4 s{};
    const std::uint64_t rest = n - i;
    for (std::uint64_t l = 0; l < rest; ++l) {
        double sum = 0.0;
        for (std::uint64_t j = 0; j < dim; ++j) {
            const double d = q[j] - points[(i + l) * dim + j];
            sum += d * d;
        }
        s[l] = sum;
    }
    v4 t = kernel4<K>(s, k);
    for (std::uint64_t l = 0; l < 4; ++l) t[l] = l < rest ? (Weighted ? t[l] * weights[i + l] : t[l]) : 0.0;
    lanes = lanes + t;
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

// Inlined into each instruction-set variant of with_best_isa; two and three
// coordinates get loops of known length.
template <KdeKernel K, bool Weighted>
[[gnu::always_inline]] inline double leaf_body(const LeafKernel* k, const double* q, const double* points,
                                               std::uint64_t n, std::uint64_t dim, const double* weights) {
    if (dim == 3) return leaf_sum<K, Weighted>(*k, q, points, n, 3, weights);
    if (dim == 2) return leaf_sum<K, Weighted>(*k, q, points, n, 2, weights);
    return leaf_sum<K, Weighted>(*k, q, points, n, dim, weights);
}

}  // namespace

double kernel_leaf_sum(const LeafKernel& k, const double* q, const double* points, std::uint64_t n,
                       std::uint64_t dim, const double* weights) {
    return with_kde_kernel(k.kernel, [&]<KdeKernel K>() {
        if (weights) return with_best_isa<leaf_body<K, true>>(&k, q, points, n, dim, weights);
        return with_best_isa<leaf_body<K, false>>(&k, q, points, n, dim, weights);
    });
}

}  // namespace tessaron::spatial
