// The tessaron.stats submodule: whole-array statistics and correlation.
#include <span>
#include <type_traits>

#include "python/array/array_functions.hpp"
#include "python/buffer_reals.hpp"
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

// The reductions read a float64 buffer in C order in place (no copy);
// anything else is converted as every Array argument is.
template <class R>
PyObject* python_value(R value) {
    if constexpr (std::is_same_v<R, bool>)
        return PyBool_FromLong(value);
    else
        return PyFloat_FromDouble(value);
}

template <class Sig, class R, R (*F)(std::span<const double>)>
PyObject* reduction_body(Args<Sig>& in) {
    PyObject* obj = in.slots[0];
    if (!is_array(obj) && may_export_numbers(obj)) {
        HeldBuffer view;
        if (view.acquire(obj) && native_doubles(*view)) {
            const std::span<const double> x(static_cast<const double*>(view->buf),
                                            static_cast<std::size_t>(view->len) / sizeof(double));
            return python_value(F(x));
        }
        PyErr_Clear();
    }
    ArrayArg a;
    if (!arg<0>(in, a)) return nullptr;
    return python_value(F({a.value().data.data(), a.value().size()}));
}

template <Literal Decl, class R, R (*F)(std::span<const double>)>
PyMethodDef reduction() {
    using Sig = Signature<Decl>;
    return function_def<Sig, reduction_body<Sig, R, F>>();
}

PyMethodDef functions[] = {
    reduction<"sum(a)", double, sum>(),
    reduction<"mean(a)", double, mean>(),
    reduction<"var(a)", double, var>(),
    reduction<"std(a)", double, std_dev>(),
    function_of_array<"median(a)", median_result>(),
    function_def<Quantile, quantile_body>(),
    reduction<"any(a)", bool, any>(),
    reduction<"all(a)", bool, all>(),
    function_of_pair<"pearson(a, b)", float_result<pearson>>(),
    function_of_pair<"spearman(a, b)", spearman_result>(),
};

}  // namespace

bool register_module(PyObject* module) { return add_functions(module, functions); }

}  // namespace tessaron::py::stats
