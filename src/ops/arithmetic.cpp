#include "ops/arithmetic.hpp"

#include "array/broadcast.hpp"
#include "ops/loops.hpp"

namespace tessaron {
namespace {

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
