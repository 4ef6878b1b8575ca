// Module functions over borrowed Array arguments: name(a) and name(a, b),
// each converting its Arrays in parameter order and wrapping one core result.
#pragma once

#include <optional>
#include <utility>

#include "python/array/array_args.hpp"
#include "python/binding.hpp"
#include "python/gil.hpp"
#include "stats/stats.hpp"

namespace tessaron::py {

template <class Sig, PyObject* (*Result)(const NdArray&)>
PyObject* of_array(Args<Sig>& in) {
    ArrayArg a;
    if (!arg<0>(in, a)) return nullptr;
    return Result(a.value());
}

template <class Sig, PyObject* (*Result)(const NdArray&, const NdArray&)>
PyObject* of_pair(Args<Sig>& in) {
    ArrayArg a, b;
    if (!arg<0>(in, a) || !arg<1>(in, b)) return nullptr;
    return Result(a.value(), b.value());
}

template <Literal Decl, PyObject* (*Result)(const NdArray&)>
PyMethodDef function_of_array() {
    using Sig = Signature<Decl>;
    return function_def<Sig, of_array<Sig, Result>>();
}

template <Literal Decl, PyObject* (*Result)(const NdArray&, const NdArray&)>
PyMethodDef function_of_pair() {
    using Sig = Signature<Decl>;
    return function_def<Sig, of_pair<Sig, Result>>();
}

// Core results as Python objects (also for the Array methods).
template <double (*F)(const NdArray&)>
PyObject* float_result(const NdArray& a) {
    return PyFloat_FromDouble(F(a));
}

template <bool (*F)(const NdArray&)>
PyObject* bool_result(const NdArray& a) {
    return PyBool_FromLong(F(a));
}

// The order statistics select or sort; with the GIL held, they poll for
// Ctrl-C as they go. A float q gives a float; an Array q gives one quantile
// per element of q, in its flat order, as a 1-D Array.
inline PyObject* quantile_result(const NdArray& a, const ArrayOrScalar& q) {
    Watch watch = signal_watch();
    if (!q.is_array()) return PyFloat_FromDouble(quantile(a, q.scalar, &watch));
    const NdArray& qs = q.array.value();
    return wrap_array(quantiles(a, qs.data.data(), qs.size(), &watch));
}

inline PyObject* median_result(const NdArray& a) {
    Watch watch = signal_watch();
    return PyFloat_FromDouble(median(a, &watch));
}

template <NdArray (*F)(const NdArray&)>
PyObject* array_result(const NdArray& a) {
    return wrap_array(F(a));
}

template <NdArray (*F)(const NdArray&, const NdArray&)>
PyObject* array_result(const NdArray& a, const NdArray& b) {
    return wrap_array(F(a, b));
}

template <double (*F)(const NdArray&, const NdArray&)>
PyObject* float_result(const NdArray& a, const NdArray& b) {
    return PyFloat_FromDouble(F(a, b));
}

// Shared by tessaron.linalg and the Array methods. outer(a, b): a and b are
// Arrays or lists of floats. diagonal_of: the k-th diagonal (k None: the
// main one) of a, which must be two-dimensional.
using OuterSignature = Signature<"outer(a, b)">;
PyObject* outer_of(Args<OuterSignature>& in);
PyObject* diagonal_of(const NdArray& a, const std::optional<std::int64_t>& k);

// A pair of arrays as a 2-tuple of new Arrays, in the pair's order.
inline PyObject* tuple_of(std::pair<NdArray, NdArray>&& p) {
    Ref first = Ref::steal(wrap_array(std::move(p.first)));
    Ref second = first ? Ref::steal(wrap_array(std::move(p.second))) : Ref();
    return second ? PyTuple_Pack(2, first.get(), second.get()) : nullptr;
}

}  // namespace tessaron::py
