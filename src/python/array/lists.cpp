// Array -> nested Python lists.
#include "python/array/functions.hpp"
#include "python/array/self_method.hpp"

namespace tessaron::py {
namespace {

// Nested lists from dimension `dim` at flat position `offset`.
PyObject* nested_list(const NdArray& a, std::uint64_t dim, std::uint64_t offset) {
    if (dim >= a.ndim()) panic_out_of_bounds(a.ndim(), dim);
    const std::uint64_t n = a.shape[dim], stride = a.strides[dim];
    if (n > static_cast<std::uint64_t>(PY_SSIZE_T_MAX)) throw std::bad_alloc();  // no such list
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return nullptr;
    const bool last = dim + 1 == a.ndim();
    for (std::uint64_t i = 0; i < n; ++i) {
        // offset + i * stride, saturating so an overflow reads as out of bounds.
        std::uint64_t pos = 0, step = 0;
        if (__builtin_mul_overflow(i, stride, &step) || __builtin_add_overflow(offset, step, &pos))
            pos = UINT64_MAX;
        PyObject* item;
        if (last) {
            check_index(a.size(), pos);
            item = PyFloat_FromDouble(a.data[pos]);
        } else {
            // Deeply nested shapes must not exhaust the C stack.
            if (Py_EnterRecursiveCall(" while converting an Array to lists")) return nullptr;
            item = nested_list(a, dim + 1, pos);
            Py_LeaveRecursiveCall();
        }
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace

PyObject* array_tolist(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return no_arg_method("Array.tolist()", self, args, nargs, kwnames, [](const NdArray& a) {
        return a.ndim() == 0 ? PyFloat_FromDouble(a.data[0]) : nested_list(a, 0, 0);
    });
}

PyObject* array_to_pylist_recursive(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        PyObject* o[2];
        ArrayArg a;
        std::uint64_t dim = 0, offset = 0;
        if (!parse_args({"Array.to_pylist_recursive()", {"dim", "offset"}, 2}, args, nargs, kwnames,
                        o) ||
            !extract(self, a) || !arg(o[0], "dim", dim) || !arg(o[1], "offset", offset))
            return nullptr;
        return nested_list(a.value(), dim, offset);
    });
}

}  // namespace tessaron::py
