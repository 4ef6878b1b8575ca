// Element-wise functions, clip and the reductions of Array.
#include "ops/elementwise.hpp"
#include "python/array/array_method.hpp"
#include "python/array/array_functions.hpp"

namespace tessaron::py {
namespace {

template <UnaryFn F>
PyObject* unary(const NdArray& a) {
    return wrap_array(apply_unary(a, F));
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
    return quantile_result(a, q);
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
    array_method_def<ArrayMethod<"sum($self)">, float_result<sum>>(),
    array_method_def<ArrayMethod<"mean($self)">, float_result<mean>>(),
    array_method_def<ArrayMethod<"var($self)">, float_result<var>>(),
    array_method_def<ArrayMethod<"std($self)">, float_result<std_dev>>(),
    array_method_def<ArrayMethod<"median($self)">, median_result>(),
    array_method_def<Quantile, quantile_body>(),
    array_method_def<ArrayMethod<"any($self)">, bool_result<any>>(),
    array_method_def<ArrayMethod<"all($self)">, bool_result<all>>(),
};

}  // namespace

ClassPart math_part() { return {defs, {}}; }

}  // namespace tessaron::py
