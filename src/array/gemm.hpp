// Dense matrix kernels: the product and the transpose. In the product every output element is one sequential sum
// over the inner index in ascending order, starting from -0.0, with the
// products rounded before each addition (no fused multiply-add); blocking
// only changes which elements are computed together, never an element's
// order of summation, so results are bit-identical to the plain triple loop.
#pragma once

#include <cstdint>

#include "array/watch.hpp"

namespace tessaron {

// C (m x p, row-major, fully overwritten) = A (m x n) * B (n x p); the
// watch (if any) is ticked block by block.
void gemm(std::uint64_t m, std::uint64_t n, std::uint64_t p, const double* a, const double* b,
          double* c, Watch* watch = nullptr);

// dst (cols x rows, row-major) = the transpose of src (rows x cols, row-major).
void transpose_into(std::uint64_t rows, std::uint64_t cols, const double* src, double* dst);

}  // namespace tessaron
