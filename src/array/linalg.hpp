// Matrix products and views (matmul, outer, diagonal, transpose), whose
// unsupported inputs fail an internal assertion, and the decompositions
// (cholesky, qr, eig_with_params, eigvals), which throw an Error with a fixed
// message instead. Inputs are read-only; results are new arrays. The long
// ones tick a `watch` (if given), through which the caller may abandon them.
#pragma once

#include <utility>

#include "array/ndarray.hpp"
#include "array/watch.hpp"

namespace tessaron {

// Matrix, matrix-vector, vector-matrix or vector-vector product (the last
// gives shape [1]). Every entry is a sum in ascending inner order from -0.0.
NdArray matmul(const NdArray& a, const NdArray& b, Watch* watch = nullptr);
// [len(a), len(b)] with entry [i, j] = a[i] * b[j]; both must be 1-D.
NdArray outer(const NdArray& a, const NdArray& b);
// The k-th diagonal of a 2-D array (k > 0 above, k < 0 below the main one).
NdArray diagonal(const NdArray& a, std::int64_t k);
// The transpose of a 2-D array.
NdArray transpose(const NdArray& a);

// The lower-triangular L with a = L·Lᵀ, by the Cholesky–Banachiewicz
// recurrence: L[i, j] from the sum over t < j of L[i, t]·L[j, t] (ascending,
// from +0.0). Reads only the lower triangle of a; fails on a pivot <= 0.
NdArray cholesky(const NdArray& a, Watch* watch = nullptr);

// (Q, R) with a = Q·R by Householder reflections in column order; a column
// whose norm (or reflector norm) is below 1e-14 is left as it is. R's
// diagonal is -sign(leading entry) times the column norm.
std::pair<NdArray, NdArray> qr(const NdArray& a, Watch* watch = nullptr);

// (values, vectors) by unshifted QR iteration: at most max_iter steps of
// A <- R·Q, V <- V·Q, stopping once the off-diagonal norm is below tol;
// values (A's diagonal) ordered by decreasing magnitude, stable for ties,
// with V's columns in the same order. A NaN among them fails an assertion.
// `converged`, when given, tells whether the off-diagonal norm of the last
// iterate is below tol (a 0x0 or 1x1 matrix always converges).
std::pair<NdArray, NdArray> eig_with_params(const NdArray& a, std::uint64_t max_iter, double tol,
                                            bool* converged = nullptr, Watch* watch = nullptr);
// The iteration limits of eig and eigvals.
inline constexpr std::uint64_t kEigMaxIter = 1000;
inline constexpr double kEigTol = 1e-10;
std::pair<NdArray, NdArray> eig(const NdArray& a, bool* converged = nullptr, Watch* watch = nullptr);
NdArray eigvals(const NdArray& a, bool* converged = nullptr, Watch* watch = nullptr);

}  // namespace tessaron
