#include "ops/scalar.hpp"

#include "ops/loops.hpp"

namespace tessaron {

NdArray scalar_op_copy(const NdArray& a, double s, BinaryOp op) {
    NdArray out = NdArray::uninit(a.shape);
    with_op(op, [&]<class Op>() { run<Op>(out.data.data(), a.data.data(), 1, &s, 0, a.size()); });
    return out;
}

NdArray scalar_left_op_copy(double s, const NdArray& a, BinaryOp op) {
    NdArray out = NdArray::uninit(a.shape);
    with_op(op, [&]<class Op>() { run<Op>(out.data.data(), &s, 0, a.data.data(), 1, a.size()); });
    return out;
}

}  // namespace tessaron
