// Element-wise arithmetic of two arrays under broadcasting.
#pragma once

#include "array/ndarray.hpp"
#include "ops/binary_op.hpp"

namespace tessaron {

// A new array of the broadcast shape holding a[i] op b[j]. Incompatible
// shapes fail the assertion "Shapes are not broadcast-compatible".
NdArray binary_op_copy(const NdArray& a, const NdArray& b, BinaryOp op);

}  // namespace tessaron
