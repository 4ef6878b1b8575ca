#include "ops/scalar.hpp"

namespace tessaron {

NdArray scalar_op_copy(const NdArray& a, double s, BinaryOp op) {
    NdArray out = NdArray::uninit(a.shape);
    with_op(op, [&]<class Op>() {
        const double* x = a.data.data();
        double* o = out.data.data();
        const std::size_t n = a.size();
        for (std::size_t i = 0; i < n; ++i) o[i] = Op::apply(x[i], s);
    });
    return out;
}

NdArray scalar_left_op_copy(double s, const NdArray& a, BinaryOp op) {
    NdArray out = NdArray::uninit(a.shape);
    with_op(op, [&]<class Op>() {
        const double* x = a.data.data();
        double* o = out.data.data();
        const std::size_t n = a.size();
        for (std::size_t i = 0; i < n; ++i) o[i] = Op::apply(s, x[i]);
    });
    return out;
}

}  // namespace tessaron
