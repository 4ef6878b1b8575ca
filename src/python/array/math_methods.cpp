// Element-wise functions, clip and the reductions of Array.
#include "ops/elementwise.hpp"
#include "python/array/operators.hpp"
#include "python/array/self_method.hpp"
#include "stats/stats.hpp"

namespace tessaron::py {

#define TESSARON_UNARY(method, fn)                                                    \
    TESSARON_METHOD(array_##method) {                                                 \
        return no_arg_method("Array." #method "()", self, args, nargs, kwnames,       \
                             [](const NdArray& a) {                                   \
                                 return wrap_array(apply_unary(a, UnaryFn::fn));      \
                             });                                                      \
    }
TESSARON_UNARY(sin, Sin)
TESSARON_UNARY(cos, Cos)
TESSARON_UNARY(tan, Tan)
TESSARON_UNARY(arcsin, Arcsin)
TESSARON_UNARY(arccos, Arccos)
TESSARON_UNARY(arctan, Arctan)
TESSARON_UNARY(exp, Exp)
TESSARON_UNARY(log, Log)
TESSARON_UNARY(sqrt, Sqrt)
TESSARON_UNARY(abs, Abs)
TESSARON_UNARY(sign, Sign)
#undef TESSARON_UNARY

#define TESSARON_REDUCTION(method, expr)                                                        \
    TESSARON_METHOD(array_##method) {                                                          \
        return no_arg_method("Array." #method "()", self, args, nargs, kwnames,                \
                             [](const NdArray& a) { return expr; });                           \
    }
TESSARON_REDUCTION(sum, PyFloat_FromDouble(sum(a)))
TESSARON_REDUCTION(mean, PyFloat_FromDouble(mean(a)))
TESSARON_REDUCTION(var, PyFloat_FromDouble(var(a)))
TESSARON_REDUCTION(std, PyFloat_FromDouble(std_dev(a)))
TESSARON_REDUCTION(median, PyFloat_FromDouble(median(a)))
TESSARON_REDUCTION(any, PyBool_FromLong(any(a)))
TESSARON_REDUCTION(all, PyBool_FromLong(all(a)))
#undef TESSARON_REDUCTION

TESSARON_METHOD(array_clip) {
    return guard([&]() -> PyObject* {
        PyObject* o[2];
        ArrayArg a;
        double lo = 0.0, hi = 0.0;
        if (!parse_args({"Array.clip()", {"min", "max"}, 2}, args, nargs, kwnames, o) ||
            !extract(self, a) || !arg(o[0], "min", lo) || !arg(o[1], "max", hi))
            return nullptr;
        return wrap_array(clip(a.value(), lo, hi));
    });
}

TESSARON_METHOD(array_quantile) {
    return one_arg_method<ArrayOrScalar>(
        "Array.quantile()", "q", 1, self, args, nargs, kwnames,
        [](const NdArray& a, ArrayOrScalar& q) -> PyObject* {
            if (!q.is_array()) return PyFloat_FromDouble(quantile(a, q.scalar));
            const NdArray& qs = q.array.value();
            return wrap_array(quantiles(a, qs.data.data(), qs.size()));
        });
}

}  // namespace tessaron::py
