// Matrix products and views: matmul, outer, diagonal, transpose. Each takes
// its inputs read-only and returns a new array; unsupported inputs fail an
// internal assertion.
#pragma once

#include "array/ndarray.hpp"

namespace tessaron {

// Matrix, matrix-vector, vector-matrix or vector-vector product (the last
// gives shape [1]). Every entry is a sum in ascending inner order from -0.0.
NdArray matmul(const NdArray& a, const NdArray& b);
// [len(a), len(b)] with entry [i, j] = a[i] * b[j]; both must be 1-D.
NdArray outer(const NdArray& a, const NdArray& b);
// The k-th diagonal of a 2-D array (k > 0 above, k < 0 below the main one).
NdArray diagonal(const NdArray& a, std::int64_t k);
// The transpose of a 2-D array.
NdArray transpose(const NdArray& a);

}  // namespace tessaron
