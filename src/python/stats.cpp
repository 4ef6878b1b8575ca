// The tessaron.stats submodule: whole-array statistics and correlation.
#include "python/array/array_functions.hpp"
#include "python/module_util.hpp"
#include "stats/correlation.hpp"

namespace tessaron::py::stats {
namespace {

using Quantile = Signature<"quantile(a, q)">;
PyObject* quantile_body(Args<Quantile>& in) {
    ArrayArg a;
    ArrayOrScalar q;
    if (!arg<0>(in, a) || !arg<1>(in, q)) return nullptr;
    return quantile_result(a.value(), q);
}

PyObject* spearman_result(const NdArray& a, const NdArray& b) {
    Watch watch = signal_watch();
    return PyFloat_FromDouble(spearman(a, b, &watch));
}

PyMethodDef functions[] = {
    function_of_array<"sum(a)", float_result<sum>>(),
    function_of_array<"mean(a)", float_result<mean>>(),
    function_of_array<"var(a)", float_result<var>>(),
    function_of_array<"std(a)", float_result<std_dev>>(),
    function_of_array<"median(a)", median_result>(),
    function_def<Quantile, quantile_body>(),
    function_of_array<"any(a)", bool_result<any>>(),
    function_of_array<"all(a)", bool_result<all>>(),
    function_of_pair<"pearson(a, b)", float_result<pearson>>(),
    function_of_pair<"spearman(a, b)", spearman_result>(),
};

}  // namespace

bool register_module(PyObject* module) { return add_functions(module, functions); }

}  // namespace tessaron::py::stats
