// Cholesky, Householder QR and the unshifted QR iteration. Every entry is
// computed with exactly the operations, in exactly the order, of the
// textbook loops documented in linalg.hpp; the loops below only arrange
// independent entries side by side (and keep some factors transposed) so
// that they run as vector operations instead of one addition at a time.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "array/gemm.hpp"
#include "array/isa.hpp"
#include "array/linalg.hpp"

namespace tessaron {
namespace {

constexpr double kSkipBelow = 1e-14;  // a smaller column or reflector norm: no reflection

void require_square(const NdArray& a, const char* not_2d, const char* not_square) {
    if (a.ndim() != 2) fail(not_2d);
    if (a.shape[0] != a.shape[1]) fail(not_square);
}

// Columns of L left to right, kept by columns: lt[j*n + i] = L[i, j]. For
// column j, s[i] is the sum over t < j of L[i, t]·L[j, t] for every row
// i >= j at once; each s[i] still adds its products in ascending t from
// +0.0. Pivots are met in the same order as row by row. Returns false on a
// pivot <= 0.
[[gnu::always_inline]] inline bool cholesky_columns(std::uint64_t n, const double* a, double* lt,
                                                    double* s, Watch* watch) {
    for (std::uint64_t j = 0; j < n; ++j) {
        const std::uint64_t len = n - j;
        if (watch) watch->tick(len * j);
        std::fill_n(s, len, 0.0);
        std::uint64_t t = 0;
        for (; t + 4 <= j; t += 4) {
            const double *c0 = lt + t * n + j, *c1 = c0 + n, *c2 = c1 + n, *c3 = c2 + n;
            const double x0 = c0[0], x1 = c1[0], x2 = c2[0], x3 = c3[0];
            for (std::uint64_t i = 0; i < len; ++i) {
                double v = s[i];
                v += c0[i] * x0;
                v += c1[i] * x1;
                v += c2[i] * x2;
                v += c3[i] * x3;
                s[i] = v;
            }
        }
        for (; t < j; ++t) {
            const double* c = lt + t * n + j;
            const double x = c[0];
            for (std::uint64_t i = 0; i < len; ++i) s[i] += c[i] * x;
        }
        const double d = a[j * n + j] - s[0];
        if (d <= 0.0) return false;  // a NaN pivot passes on as NaN
        const double diag = std::sqrt(d);
        double* column = lt + j * n + j;
        column[0] = diag;
        for (std::uint64_t i = 1; i < len; ++i) column[i] = (a[(j + i) * n + j] - s[i]) / diag;
    }
    return true;
}

// sqrt of the sum of squares in order from -0.0. Where that sum overflows to
// infinity, or underflows to zero although some entry is not zero, the norm
// is taken again with the entries scaled by the largest magnitude.
double column_norm(const double* x, std::uint64_t len) {
    double s = -0.0;
    for (std::uint64_t i = 0; i < len; ++i) s += x[i] * x[i];
    if (s != std::numeric_limits<double>::infinity() && s != 0.0) return std::sqrt(s);
    double scale = 0.0;
    for (std::uint64_t i = 0; i < len; ++i) scale = std::max(scale, std::fabs(x[i]));
    if (scale == 0.0 || !std::isfinite(scale)) return std::sqrt(s);
    double t = -0.0;
    for (std::uint64_t i = 0; i < len; ++i) {
        const double y = x[i] / scale;
        t += y * y;
    }
    return scale * std::sqrt(t);
}

// Working vectors of one factorisation, reused across QR-iteration steps.
struct QrWork {
    std::vector<double> v, w, u;
    explicit QrWork(std::uint64_t m, std::uint64_t n) : v(m), w(n), u(m) {}
};

// acc[j] = Σ_i c[i]·rows[i·stride + j] for j < width, each sum in ascending i
// from +0.0; four rows per pass over acc.
[[gnu::always_inline]] inline void weighted_row_sum(const double* rows, std::uint64_t stride,
                                                    const double* c, std::uint64_t count,
                                                    std::uint64_t width, double* acc) {
    std::fill_n(acc, width, 0.0);
    std::uint64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const double* r0 = rows + i * stride;
        const double *r1 = r0 + stride, *r2 = r1 + stride, *r3 = r2 + stride;
        const double c0 = c[i], c1 = c[i + 1], c2 = c[i + 2], c3 = c[i + 3];
        for (std::uint64_t j = 0; j < width; ++j) {
            double s = acc[j];
            s += c0 * r0[j];
            s += c1 * r1[j];
            s += c2 * r2[j];
            s += c3 * r3[j];
            acc[j] = s;
        }
    }
    for (; i < count; ++i) {
        const double* row = rows + i * stride;
        for (std::uint64_t j = 0; j < width; ++j) acc[j] += c[i] * row[j];
    }
}

// One reflection I - 2vvᵀ applied to R (m x n, row-major) from the left and
// to Q from the right, with Q kept by rows as qt = Qᵀ (m x m), so that both
// updates run along contiguous rows: w_j = Σ_i v_i·R[k+i, j] and
// u_i = Σ_t v_t·Q[i, k+t].
[[gnu::always_inline]] inline void reflect(std::uint64_t m, std::uint64_t n, std::uint64_t k,
                                           double* r, double* qt, const double* v, double* w,
                                           double* u) {
    const std::uint64_t len = m - k, cols = n - k;
    double* r_block = r + k * n + k;
    weighted_row_sum(r_block, n, v, len, cols, w);
    for (std::uint64_t i = 0; i < len; ++i) {
        double* row = r_block + i * n;
        const double f = v[i] + v[i];
        for (std::uint64_t j = 0; j < cols; ++j) row[j] = row[j] - f * w[j];
    }
    double* q_block = qt + k * m;
    weighted_row_sum(q_block, m, v, len, m, u);
    for (std::uint64_t t = 0; t < len; ++t) {
        double* row = q_block + t * m;
        const double vt = v[t];
        for (std::uint64_t i = 0; i < m; ++i) row[i] = row[i] - (u[i] + u[i]) * vt;
    }
}

// Householder QR in place: r becomes R (entries below the diagonal set to
// 0.0), qt (the identity on entry) becomes Qᵀ.
void householder(std::uint64_t m, std::uint64_t n, double* r, double* qt, QrWork& work, Watch* watch) {
    double* v = work.v.data();
    for (std::uint64_t k = 0; k < std::min(m, n); ++k) {
        const std::uint64_t len = m - k;
        if (watch) watch->tick(len * (n - k + m));
        for (std::uint64_t i = 0; i < len; ++i) v[i] = r[(k + i) * n + k];
        const double norm = column_norm(v, len);
        if (norm < kSkipBelow) continue;
        v[0] = v[0] + (v[0] >= 0.0 ? norm : -norm);  // a NaN leading entry takes -norm
        const double v_norm = column_norm(v, len);
        if (v_norm < kSkipBelow) continue;
        for (std::uint64_t i = 0; i < len; ++i) v[i] = v[i] / v_norm;
        with_best_isa<reflect>(m, n, k, r, qt, static_cast<const double*>(v), work.w.data(),
                               work.u.data());
    }
    for (std::uint64_t i = 1; i < m; ++i) std::fill_n(r + i * n, std::min(i, n), 0.0);
}

void set_identity(double* x, std::uint64_t n) {
    std::fill_n(x, n * n, 0.0);
    for (std::uint64_t i = 0; i < n; ++i) x[i * n + i] = 1.0;
}

// Σ A[i, j]² over i != j, row by row, from +0.0.
double off_diagonal_squares(const double* a, std::uint64_t n) {
    double off = 0.0;
    for (std::uint64_t i = 0; i < n; ++i)
        for (std::uint64_t j = 0; j < n; ++j)
            if (i != j) off += a[i * n + j] * a[i * n + j];
    return off;
}

}  // namespace

NdArray cholesky(const NdArray& a, Watch* watch) {
    require_square(a, "Cholesky decomposition requires a 2D matrix",
                   "Cholesky decomposition requires a square matrix");
    const std::uint64_t n = a.shape[0];
    Buffer lt = Buffer::zeroed(a.size());  // entries above the diagonal stay +0.0
    std::vector<double> sums(n);
    if (!with_best_isa<cholesky_columns>(n, a.data.data(), lt.data(), sums.data(), watch))
        fail("Matrix is not positive definite");
    NdArray l = NdArray::uninit(a.shape);
    transpose_into(n, n, lt.data(), l.data.data());
    return l;
}

std::pair<NdArray, NdArray> qr(const NdArray& a, Watch* watch) {
    if (a.ndim() != 2) fail("QR decomposition requires a 2D matrix");
    const std::uint64_t m = a.shape[0], n = a.shape[1];
    NdArray r = a;
    NdArray qt = NdArray::uninit(Shape{m, m});
    set_identity(qt.data.data(), m);
    QrWork work(m, n);
    householder(m, n, r.data.data(), qt.data.data(), work, watch);
    return {transpose(qt), std::move(r)};
}

std::pair<NdArray, NdArray> eig_with_params(const NdArray& a, std::uint64_t max_iter, double tol,
                                            bool* converged, Watch* watch) {
    require_square(a, "Eigendecomposition requires a 2D matrix",
                   "Eigendecomposition requires a square matrix");
    const std::uint64_t n = a.shape[0];
    if (converged) *converged = n < 2;
    if (n == 0) return {NdArray::uninit(d1(0)), NdArray::uninit(Shape{0, 0})};
    if (n == 1) return {NdArray::make(d1(1), {a.data[0]}), NdArray::make(Shape{1, 1}, {1.0})};
    // One set of buffers for all steps: iterate, R, Qᵀ, Q, V and V·Q.
    Buffer it = a.data, r = Buffer::uninit(n * n), qt = Buffer::uninit(n * n),
           q = Buffer::uninit(n * n), v = Buffer::uninit(n * n), vq = Buffer::uninit(n * n);
    set_identity(v.data(), n);
    QrWork work(n, n);
    for (std::uint64_t step = 0; step < max_iter; ++step) {
        std::copy_n(it.data(), n * n, r.data());
        set_identity(qt.data(), n);
        if (watch) watch->tick(n * n);  // a step of small matrices still counts
        householder(n, n, r.data(), qt.data(), work, watch);
        transpose_into(n, n, qt.data(), q.data());
        gemm(n, n, n, r.data(), q.data(), it.data(), watch);
        gemm(n, n, n, v.data(), q.data(), vq.data(), watch);
        std::swap(v, vq);
        if (std::sqrt(off_diagonal_squares(it.data(), n)) < tol) break;  // never on NaN
    }
    // The last test again (for max_iter 0, the first): met, or stopped by max_iter.
    if (converged) *converged = std::sqrt(off_diagonal_squares(it.data(), n)) < tol;
    std::vector<double> d(n);
    for (std::uint64_t i = 0; i < n; ++i) d[i] = it[i * n + i];
    // Magnitudes are compared while ordering; a NaN cannot be compared.
    if (std::any_of(d.begin(), d.end(), [](double x) { return std::isnan(x); }))
        panic("called `Option::unwrap()` on a `None` value");
    std::vector<std::uint64_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint64_t x, std::uint64_t y) { return std::fabs(d[x]) > std::fabs(d[y]); });
    NdArray values = NdArray::uninit(d1(n));
    NdArray vectors = NdArray::uninit(Shape{n, n});
    for (std::uint64_t j = 0; j < n; ++j) values.data[j] = d[order[j]];
    for (std::uint64_t i = 0; i < n; ++i)
        for (std::uint64_t j = 0; j < n; ++j) vectors.data[i * n + j] = v[i * n + order[j]];
    return {std::move(values), std::move(vectors)};
}

std::pair<NdArray, NdArray> eig(const NdArray& a, bool* converged, Watch* watch) {
    return eig_with_params(a, kEigMaxIter, kEigTol, converged, watch);
}
NdArray eigvals(const NdArray& a, bool* converged, Watch* watch) { return eig(a, converged, watch).first; }

}  // namespace tessaron
