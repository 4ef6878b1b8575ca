// The tessaron.stats submodule: whole-array statistics and correlation.
#include "python/binding.hpp"
#include "python/module_util.hpp"
#include "python/reductions.hpp"
#include "stats/correlation.hpp"

namespace tessaron::py::stats {
namespace {

// name(a): Result(a) of one borrowed Array.
template <class Sig, PyObject* (*Result)(const NdArray&)>
PyObject* of_array(Args<Sig>& in) {
    ArrayArg a;
    if (!arg<0>(in, a)) return nullptr;
    return Result(a.value());
}

template <Literal Decl, PyObject* (*Result)(const NdArray&)>
PyMethodDef function_of_array() {
    using Sig = Signature<Decl>;
    return function_def<Sig, of_array<Sig, Result>>();
}

using Quantile = Signature<"quantile(a, q)">;
PyObject* quantile_body(Args<Quantile>& in) {
    ArrayArg a;
    ArrayOrScalar q;
    if (!arg<0>(in, a) || !arg<1>(in, q)) return nullptr;
    return quantile_result(a.value(), q);
}

// name(a, b): a float from two borrowed Arrays.
template <class Sig, double (*F)(const NdArray&, const NdArray&)>
PyObject* of_pair(Args<Sig>& in) {
    ArrayArg a, b;
    if (!arg<0>(in, a) || !arg<1>(in, b)) return nullptr;
    return PyFloat_FromDouble(F(a.value(), b.value()));
}

using Pearson = Signature<"pearson(a, b)">;
using Spearman = Signature<"spearman(a, b)">;

PyMethodDef functions[] = {
    function_of_array<"sum(a)", float_result<sum>>(),
    function_of_array<"mean(a)", float_result<mean>>(),
    function_of_array<"var(a)", float_result<var>>(),
    function_of_array<"std(a)", float_result<std_dev>>(),
    function_of_array<"median(a)", float_result<median>>(),
    function_def<Quantile, quantile_body>(),
    function_of_array<"any(a)", bool_result<any>>(),
    function_of_array<"all(a)", bool_result<all>>(),
    function_def<Pearson, of_pair<Pearson, pearson>>(),
    function_def<Spearman, of_pair<Spearman, spearman>>(),
};

}  // namespace

bool register_module(PyObject* module) { return add_functions(module, functions); }

}  // namespace tessaron::py::stats
