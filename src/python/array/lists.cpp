// Array -> nested Python lists.
#include "python/array/array_method.hpp"

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

using ToList = ArrayMethod<"tolist($self)">;
PyObject* tolist(const NdArray& a) {
    return a.ndim() == 0 ? PyFloat_FromDouble(a.data[0]) : nested_list(a, 0, 0);
}

using ToPylistRecursive = ArrayMethod<"to_pylist_recursive($self, dim, offset)">;
PyObject* to_pylist_recursive(const NdArray& a, Args<ToPylistRecursive>& in) {
    std::uint64_t dim = 0, offset = 0;
    if (!arg<0>(in, dim) || !arg<1>(in, offset)) return nullptr;
    return nested_list(a, dim, offset);
}

const PyMethodDef defs[] = {
    array_method_def<ToList, tolist>(),
    array_method_def<ToPylistRecursive, to_pylist_recursive>(),
};

}  // namespace

ClassPart conversion_part() { return {defs, {}}; }

}  // namespace tessaron::py
