// Matrix methods of Array: matmul, dot, @, t, transpose, diagonal, outer.
#include "array/linalg.hpp"
#include "python/array/operators.hpp"
#include "python/array/self_method.hpp"

namespace tessaron::py {
namespace {

PyObject* product(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
    return one_arg_method<ArrayArg>(
        name, "other", 1, self, args, nargs, kwnames,
        [](const NdArray& a, ArrayArg& other) { return wrap_array(matmul(a, other.value())); });
}

}  // namespace

TESSARON_METHOD(array_matmul) { return product("Array.matmul()", self, args, nargs, kwnames); }
TESSARON_METHOD(array_dot) { return product("Array.dot()", self, args, nargs, kwnames); }

PyObject* array_matmul_operator(PyObject* left, PyObject* right) {
    if (!is_array(left) || !is_array(right)) Py_RETURN_NOTIMPLEMENTED;
    return guard([&]() -> PyObject* {
        ArrayArg a, b;
        if (!extract(left, a) || !extract(right, b)) return nullptr;
        return wrap_array(matmul(a.value(), b.value()));
    });
}

TESSARON_METHOD(array_t) {
    return no_arg_method("Array.t()", self, args, nargs, kwnames,
                         [](const NdArray& a) { return wrap_array(transpose(a)); });
}

TESSARON_METHOD(array_transpose) {
    return no_arg_method("Array.transpose()", self, args, nargs, kwnames,
                         [](const NdArray& a) { return wrap_array(transpose(a)); });
}

TESSARON_METHOD(array_diagonal) {
    return one_arg_method<std::optional<std::int64_t>>(
        "Array.diagonal()", "k", 0, self, args, nargs, kwnames,
        [](const NdArray& a, std::optional<std::int64_t>& k) -> PyObject* {
            if (a.ndim() != 2) {
                raise_value_error("diagonal requires a 2D array");
                return nullptr;
            }
            return wrap_array(diagonal(a, k.value_or(0)));
        });
}

PyObject* array_outer(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        PyObject* o[2];
        VecOrArray a, b;
        if (!parse_args({"Array.outer()", {"a", "b"}, 2}, args, nargs, kwnames, o) ||
            !arg(o[0], "a", a) || !arg(o[1], "b", b))
            return nullptr;
        return wrap_array(outer(a.as_array(), b.as_array()));
    });
}

}  // namespace tessaron::py
