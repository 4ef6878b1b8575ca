// Element-wise arithmetic of an array and a scalar, the scalar on either side.
#pragma once

#include "array/ndarray.hpp"
#include "ops/binary_op.hpp"

namespace tessaron {

// a[i] op s, keeping a's shape.
NdArray scalar_op_copy(const NdArray& a, double s, BinaryOp op);
// s op a[i], keeping a's shape.
NdArray scalar_left_op_copy(double s, const NdArray& a, BinaryOp op);

}  // namespace tessaron
