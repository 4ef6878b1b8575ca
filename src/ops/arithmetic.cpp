#include "ops/arithmetic.hpp"

#include "array/broadcast.hpp"

namespace tessaron {
namespace {

// One run of the innermost loop: n results from x (step sx) and y (step sy).
// The common steps get their own loops so the compiler vectorises them.
template <class Op>
void run(double* o, const double* x, std::uint64_t sx, const double* y, std::uint64_t sy,
         std::uint64_t n) {
    if (sx == 1 && sy == 1) {
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(x[i], y[i]);
    } else if (sx == 1 && sy == 0) {
        const double v = *y;
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(x[i], v);
    } else if (sx == 0 && sy == 1) {
        const double u = *x;
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(u, y[i]);
    } else {
        for (std::uint64_t i = 0; i < n; ++i) o[i] = Op::apply(x[i * sx], y[i * sy]);
    }
}

template <class Op>
void broadcast_loop(const NdArray& a, const NdArray& b, NdArray& out) {
    BroadcastPlan plan = plan_broadcast(a.shape.dims, b.shape.dims, out.shape.dims);
    double* o = out.data.data();
    while (auto start = plan.runs.next()) {
        run<Op>(o, a.data.data() + start->first, plan.run_step_a, b.data.data() + start->second,
                plan.run_step_b, plan.run_length);
        o += plan.run_length;
    }
}

}  // namespace

NdArray binary_op_copy(const NdArray& a, const NdArray& b, BinaryOp op) {
    if (a.shape == b.shape) {  // the common case: no broadcasting at all
        NdArray out = NdArray::uninit(a.shape);
        with_op(op, [&]<class Op>() {
            run<Op>(out.data.data(), a.data.data(), 1, b.data.data(), 1, a.size());
        });
        return out;
    }
    auto shape = broadcast_shape(a.shape.dims, b.shape.dims);
    if (!shape) panic("Shapes are not broadcast-compatible");
    NdArray out = NdArray::uninit(Shape{std::move(*shape)});
    if (out.size() == 0) return out;
    with_op(op, [&]<class Op>() { broadcast_loop<Op>(a, b, out); });
    return out;
}

}  // namespace tessaron
