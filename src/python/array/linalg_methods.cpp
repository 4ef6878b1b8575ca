// Matrix methods of Array: matmul, dot, @, t, transpose, diagonal, outer.
#include "array/linalg.hpp"
#include "python/array/array_functions.hpp"
#include "python/array/array_method.hpp"
#include "python/gil.hpp"

namespace tessaron::py {
namespace {

// The methods read self under its loan, so they keep the GIL; a long
// product still polls for Ctrl-C.
template <class Sig>
PyObject* product(const NdArray& a, Args<Sig>& in) {
    ArrayArg other;
    if (!arg<0>(in, other)) return nullptr;
    Watch watch = signal_watch();
    return wrap_array(matmul(a, other.value(), &watch));
}

using Matmul = ArrayMethod<"matmul($self, other)">;
using Dot = ArrayMethod<"dot($self, other)">;

PyObject* matmul_operator(PyObject* left, PyObject* right) {
    if (!is_array(left) || !is_array(right)) Py_RETURN_NOTIMPLEMENTED;
    return guard([&]() -> PyObject* {
        ArrayArg a, b;
        if (!extract(left, a) || !extract(right, b)) return nullptr;
        Watch watch = signal_watch();
        return wrap_array(matmul(a.value(), b.value(), &watch));
    });
}

PyObject* transposed(const NdArray& a) { return wrap_array(transpose(a)); }

using Diagonal = ArrayMethod<"diagonal($self, k=None)">;
PyObject* diagonal_body(const NdArray& a, Args<Diagonal>& in) {
    std::optional<std::int64_t> k;
    if (!arg<0>(in, k)) return nullptr;
    return diagonal_of(a, k);
}

const PyMethodDef defs[] = {
    array_method_def<Dot, product<Dot>>(),
    array_method_def<Matmul, product<Matmul>>(),
    array_method_def<ArrayMethod<"t($self)">, transposed>(),
    array_method_def<ArrayMethod<"transpose($self)">, transposed>(),
    array_method_def<Diagonal, diagonal_body>(),
    static_def_of<"Array", OuterSignature, outer_of>(),
};

const PyType_Slot slots[] = {
    {Py_nb_matrix_multiply, reinterpret_cast<void*>(matmul_operator)},
};

}  // namespace

PyObject* outer_of(Args<OuterSignature>& in) {
    VecOrArray a, b;
    if (!arg<0>(in, a) || !arg<1>(in, b)) return nullptr;
    return wrap_array(outer(a.as_array(), b.as_array()));
}

PyObject* diagonal_of(const NdArray& a, const std::optional<std::int64_t>& k) {
    if (a.ndim() != 2) {
        raise_value_error("diagonal requires a 2D array");
        return nullptr;
    }
    return wrap_array(diagonal(a, k.value_or(0)));
}

ClassPart matrix_part() { return {defs, slots}; }

}  // namespace tessaron::py
