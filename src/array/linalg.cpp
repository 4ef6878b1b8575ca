#include "array/linalg.hpp"

#include <algorithm>

#include "array/gemm.hpp"

namespace tessaron {
namespace {

// r[j] = sum over t of v[t] * b[t, j]: rows of b are added in order, so each
// r[j] is still its own sequential sum, and the inner loop vectorises over j.
void vector_matrix(std::uint64_t n, std::uint64_t p, const double* v, const double* b, double* r) {
    std::fill_n(r, p, -0.0);
    for (std::uint64_t t = 0; t < n; ++t) {
        const double x = v[t];
        const double* row = b + t * p;
        for (std::uint64_t j = 0; j < p; ++j) r[j] += x * row[j];
    }
}

// r[i] = sum over t of a[i, t] * v[t]; four rows at a time so that four
// independent sums hide the latency of the additions.
void matrix_vector(std::uint64_t m, std::uint64_t n, const double* a, const double* v, double* r) {
    std::uint64_t i = 0;
    for (; i + 4 <= m; i += 4) {
        const double *r0 = a + i * n, *r1 = r0 + n, *r2 = r1 + n, *r3 = r2 + n;
        double s0 = -0.0, s1 = -0.0, s2 = -0.0, s3 = -0.0;
        for (std::uint64_t t = 0; t < n; ++t) {
            s0 += r0[t] * v[t];
            s1 += r1[t] * v[t];
            s2 += r2[t] * v[t];
            s3 += r3[t] * v[t];
        }
        r[i] = s0;
        r[i + 1] = s1;
        r[i + 2] = s2;
        r[i + 3] = s3;
    }
    for (; i < m; ++i) {
        double s = -0.0;
        for (std::uint64_t t = 0; t < n; ++t) s += a[i * n + t] * v[t];
        r[i] = s;
    }
}

// |k| without overflow, also for the most negative offset.
std::uint64_t magnitude(std::int64_t k) {
    return k < 0 ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
}

}  // namespace

NdArray matmul(const NdArray& a, const NdArray& b, Watch* watch) {
    const std::size_t da = a.ndim(), db = b.ndim();
    if (da == 1 && db == 1) {
        check_eq(a.shape[0], b.shape[0], "Vectors must have same length");
        NdArray out = NdArray::uninit(d1(1));
        double s = -0.0;
        for (std::uint64_t t = 0; t < a.shape[0]; ++t) s += a.data[t] * b.data[t];
        out.data[0] = s;
        return out;
    }
    if (da == 1 && db == 2) {
        check_eq(a.shape[0], b.shape[0], "Inner dimensions must match");
        NdArray out = NdArray::uninit(d1(b.shape[1]));
        vector_matrix(b.shape[0], b.shape[1], a.data.data(), b.data.data(), out.data.data());
        return out;
    }
    if (da == 2 && db == 1) {
        check_eq(a.shape[1], b.shape[0], "Inner dimensions must match");
        NdArray out = NdArray::uninit(d1(a.shape[0]));
        matrix_vector(a.shape[0], a.shape[1], a.data.data(), b.data.data(), out.data.data());
        return out;
    }
    if (da == 2 && db == 2) {
        const std::uint64_t n = a.shape[1], q = b.shape[0];
        if (n != q)
            panic_not_equal("Inner dimensions must match: " + std::to_string(n) + " vs " +
                                std::to_string(q),
                            std::to_string(n), std::to_string(q));
        NdArray out = NdArray::uninit(Shape{a.shape[0], b.shape[1]});
        gemm(a.shape[0], n, b.shape[1], a.data.data(), b.data.data(), out.data.data(), watch);
        return out;
    }
    panic("matmul requires 1D or 2D arrays");
}

NdArray outer(const NdArray& a, const NdArray& b) {
    check_eq(a.ndim(), 1, "First input must be 1D");
    check_eq(b.ndim(), 1, "Second input must be 1D");
    const std::uint64_t m = a.shape[0], p = b.shape[0];
    NdArray out = NdArray::uninit(Shape{m, p});
    double* o = out.data.data();
    for (std::uint64_t i = 0; i < m; ++i, o += p) {
        const double x = a.data[i];
        for (std::uint64_t j = 0; j < p; ++j) o[j] = x * b.data[j];
    }
    return out;
}

NdArray diagonal(const NdArray& a, std::int64_t k) {
    check_eq(a.ndim(), 2, "Input must be 2D");
    const std::uint64_t rows = a.shape[0], cols = a.shape[1];
    const std::uint64_t row0 = k < 0 ? magnitude(k) : 0, col0 = k < 0 ? 0 : magnitude(k);
    if (rows <= row0 || cols <= col0) return NdArray::uninit(d1(0));
    const std::uint64_t len = std::min(cols - col0, rows - row0);
    NdArray out = NdArray::uninit(d1(len));
    for (std::uint64_t t = 0; t < len; ++t) out.data[t] = a.data[(row0 + t) * cols + col0 + t];
    return out;
}

NdArray transpose(const NdArray& a) {
    check_eq(a.ndim(), 2, "transpose requires 2D array");
    const std::uint64_t rows = a.shape[0], cols = a.shape[1];
    NdArray out = NdArray::uninit(Shape{cols, rows});
    transpose_into(rows, cols, a.data.data(), out.data.data());
    return out;
}

}  // namespace tessaron
