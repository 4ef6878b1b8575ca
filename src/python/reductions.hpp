// Results of the statistics shared by the Array methods and tessaron.stats.
#pragma once

#include "python/args.hpp"
#include "stats/stats.hpp"

namespace tessaron::py {

template <double (*F)(const NdArray&)>
PyObject* float_result(const NdArray& a) {
    return PyFloat_FromDouble(F(a));
}

template <bool (*F)(const NdArray&)>
PyObject* bool_result(const NdArray& a) {
    return PyBool_FromLong(F(a));
}

// A float q gives a float; an Array q gives one quantile per element of q,
// in its flat order, as a 1-D Array.
inline PyObject* quantile_result(const NdArray& a, const ArrayOrScalar& q) {
    if (!q.is_array()) return PyFloat_FromDouble(quantile(a, q.scalar));
    const NdArray& qs = q.array.value();
    return wrap_array(quantiles(a, qs.data.data(), qs.size()));
}

}  // namespace tessaron::py
