// Element-wise functions, clip and the reductions of Array.
#include "ops/elementwise.hpp"
#include "python/array/array_method.hpp"
#include "stats/stats.hpp"

namespace tessaron::py {
namespace {

template <UnaryFn F>
PyObject* unary(const NdArray& a) {
    return wrap_array(apply_unary(a, F));
}

template <double (*F)(const NdArray&)>
PyObject* float_reduction(const NdArray& a) {
    return PyFloat_FromDouble(F(a));
}

template <bool (*F)(const NdArray&)>
PyObject* bool_reduction(const NdArray& a) {
    return PyBool_FromLong(F(a));
}

using Clip = ArrayMethod<"clip($self, min, max)">;
PyObject* clip_body(const NdArray& a, Args<Clip>& in) {
    double lo = 0.0, hi = 0.0;
    if (!arg<0>(in, lo) || !arg<1>(in, hi)) return nullptr;
    return wrap_array(clip(a, lo, hi));
}

using Quantile = ArrayMethod<"quantile($self, q)">;
PyObject* quantile_body(const NdArray& a, Args<Quantile>& in) {
    ArrayOrScalar q;
    if (!arg<0>(in, q)) return nullptr;
    if (!q.is_array()) return PyFloat_FromDouble(quantile(a, q.scalar));
    const NdArray& qs = q.array.value();
    return wrap_array(quantiles(a, qs.data.data(), qs.size()));
}

const PyMethodDef defs[] = {
    array_method_def<ArrayMethod<"sin($self)">, unary<UnaryFn::Sin>>(),
    array_method_def<ArrayMethod<"cos($self)">, unary<UnaryFn::Cos>>(),
    array_method_def<ArrayMethod<"tan($self)">, unary<UnaryFn::Tan>>(),
    array_method_def<ArrayMethod<"arcsin($self)">, unary<UnaryFn::Arcsin>>(),
    array_method_def<ArrayMethod<"arccos($self)">, unary<UnaryFn::Arccos>>(),
    array_method_def<ArrayMethod<"arctan($self)">, unary<UnaryFn::Arctan>>(),
    array_method_def<ArrayMethod<"exp($self)">, unary<UnaryFn::Exp>>(),
    array_method_def<ArrayMethod<"log($self)">, unary<UnaryFn::Log>>(),
    array_method_def<ArrayMethod<"sqrt($self)">, unary<UnaryFn::Sqrt>>(),
    array_method_def<ArrayMethod<"abs($self)">, unary<UnaryFn::Abs>>(),
    array_method_def<ArrayMethod<"sign($self)">, unary<UnaryFn::Sign>>(),
    array_method_def<Clip, clip_body>(),
    array_method_def<ArrayMethod<"sum($self)">, float_reduction<sum>>(),
    array_method_def<ArrayMethod<"mean($self)">, float_reduction<mean>>(),
    array_method_def<ArrayMethod<"var($self)">, float_reduction<var>>(),
    array_method_def<ArrayMethod<"std($self)">, float_reduction<std_dev>>(),
    array_method_def<ArrayMethod<"median($self)">, float_reduction<median>>(),
    array_method_def<Quantile, quantile_body>(),
    array_method_def<ArrayMethod<"any($self)">, bool_reduction<any>>(),
    array_method_def<ArrayMethod<"all($self)">, bool_reduction<all>>(),
};

}  // namespace

ClassPart math_part() { return {defs, {}}; }

}  // namespace tessaron::py
