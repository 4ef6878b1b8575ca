// The `Array` type: creation, destruction and inspection (shape, len, repr,
// iteration). Conversion methods and constructors live in their own files.
#include <new>

#include "array/format.hpp"
#include "python/args.hpp"
#include "python/array/array_object.hpp"
#include "python/array/functions.hpp"
#include "python/array/operators.hpp"
#include "python/array/self_method.hpp"
#include "python/errors.hpp"
#include "python/object.hpp"
#include "python/module_util.hpp"

namespace tessaron::py {
namespace {

PyObject* array_repr(PyObject* self) {
    return with_self(self, [](const NdArray& a) {
        const std::string text = tessaron::array_repr(a);
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

Py_ssize_t array_length(PyObject* self) {
    const std::size_t n = reinterpret_cast<PyArray*>(self)->value.size();
    if (n > static_cast<std::size_t>(PY_SSIZE_T_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "array length does not fit in a Py_ssize_t");
        return -1;
    }
    return static_cast<Py_ssize_t>(n);
}

PyObject* array_get_shape(PyObject* self, void*) {
    return with_self(self, [](const NdArray& a) -> PyObject* {
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(a.ndim())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < a.ndim(); ++i) {
            PyObject* d = PyLong_FromUnsignedLongLong(a.shape[i]);
            if (!d) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
        }
        return list.release();
    });
}

PyMethodDef array_methods[] = {
    {"tolist", TESSARON_FAST(array_tolist), kFastFlags, "tolist($self)\n--\n\n"},
    {"to_pylist_recursive", TESSARON_FAST(array_to_pylist_recursive), kFastFlags,
     "to_pylist_recursive($self, dim, offset)\n--\n\n"},
    {"to_numpy", TESSARON_FAST(array_to_numpy), kFastFlags, "to_numpy($self)\n--\n\n"},
    {"from_numpy", TESSARON_FAST(array_from_numpy), kFastFlags | METH_STATIC,
     "from_numpy(arr)\n--\n\n"},
    {"zeros", TESSARON_FAST(zeros_static), kFastFlags | METH_STATIC, "zeros(shape)\n--\n\n"},
    {"ones", TESSARON_FAST(ones_static), kFastFlags | METH_STATIC, "ones(shape)\n--\n\n"},
    {"full", TESSARON_FAST(full_static), kFastFlags | METH_STATIC,
     "full(shape, fill_value)\n--\n\n"},
    {"eye", TESSARON_FAST(eye_static), kFastFlags | METH_STATIC, "eye(n, m=None, k=None)\n--\n\n"},
    {"diag", TESSARON_FAST(diag_static), kFastFlags | METH_STATIC, "diag(v, k=None)\n--\n\n"},
    {"asarray", TESSARON_FAST(asarray_static), kFastFlags | METH_STATIC,
     "asarray(data, shape=None)\n--\n\n"},
    {"sin", TESSARON_FAST(array_sin), kFastFlags, "sin($self)\n--\n\n"},
    {"cos", TESSARON_FAST(array_cos), kFastFlags, "cos($self)\n--\n\n"},
    {"tan", TESSARON_FAST(array_tan), kFastFlags, "tan($self)\n--\n\n"},
    {"arcsin", TESSARON_FAST(array_arcsin), kFastFlags, "arcsin($self)\n--\n\n"},
    {"arccos", TESSARON_FAST(array_arccos), kFastFlags, "arccos($self)\n--\n\n"},
    {"arctan", TESSARON_FAST(array_arctan), kFastFlags, "arctan($self)\n--\n\n"},
    {"exp", TESSARON_FAST(array_exp), kFastFlags, "exp($self)\n--\n\n"},
    {"log", TESSARON_FAST(array_log), kFastFlags, "log($self)\n--\n\n"},
    {"sqrt", TESSARON_FAST(array_sqrt), kFastFlags, "sqrt($self)\n--\n\n"},
    {"abs", TESSARON_FAST(array_abs), kFastFlags, "abs($self)\n--\n\n"},
    {"sign", TESSARON_FAST(array_sign), kFastFlags, "sign($self)\n--\n\n"},
    {"clip", TESSARON_FAST(array_clip), kFastFlags, "clip($self, min, max)\n--\n\n"},
    {"sum", TESSARON_FAST(array_sum), kFastFlags, "sum($self)\n--\n\n"},
    {"mean", TESSARON_FAST(array_mean), kFastFlags, "mean($self)\n--\n\n"},
    {"var", TESSARON_FAST(array_var), kFastFlags, "var($self)\n--\n\n"},
    {"std", TESSARON_FAST(array_std), kFastFlags, "std($self)\n--\n\n"},
    {"median", TESSARON_FAST(array_median), kFastFlags, "median($self)\n--\n\n"},
    {"quantile", TESSARON_FAST(array_quantile), kFastFlags, "quantile($self, q)\n--\n\n"},
    {"any", TESSARON_FAST(array_any), kFastFlags, "any($self)\n--\n\n"},
    {"all", TESSARON_FAST(array_all), kFastFlags, "all($self)\n--\n\n"},
    {"get", TESSARON_FAST(array_get), kFastFlags, "get($self, indices)\n--\n\n"},
    {"take", TESSARON_FAST(array_take), kFastFlags, "take($self, indices)\n--\n\n"},
    {"dot", TESSARON_FAST(array_dot), kFastFlags, "dot($self, other)\n--\n\n"},
    {"matmul", TESSARON_FAST(array_matmul), kFastFlags, "matmul($self, other)\n--\n\n"},
    {"t", TESSARON_FAST(array_t), kFastFlags, "t($self)\n--\n\n"},
    {"transpose", TESSARON_FAST(array_transpose), kFastFlags, "transpose($self)\n--\n\n"},
    {"diagonal", TESSARON_FAST(array_diagonal), kFastFlags, "diagonal($self, k=None)\n--\n\n"},
    {"outer", TESSARON_FAST(array_outer), kFastFlags | METH_STATIC, "outer(a, b)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef array_getset[] = {
    {"shape", array_get_shape, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot array_slots[] = {
    {Py_tp_doc, const_cast<char*>("Array(shape, data)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(array_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<PyArray>)},
    {Py_tp_repr, reinterpret_cast<void*>(array_repr)},
    {Py_tp_str, reinterpret_cast<void*>(array_repr)},
    {Py_tp_iter, reinterpret_cast<void*>(array_iter)},
    {Py_sq_length, reinterpret_cast<void*>(array_length)},
    {Py_sq_contains, reinterpret_cast<void*>(array_contains)},
    {Py_mp_length, reinterpret_cast<void*>(array_length)},
    {Py_mp_subscript, reinterpret_cast<void*>(array_subscript)},
    {Py_mp_ass_subscript, reinterpret_cast<void*>(array_assign)},
    {Py_nb_add, reinterpret_cast<void*>(array_add)},
    {Py_nb_subtract, reinterpret_cast<void*>(array_subtract)},
    {Py_nb_multiply, reinterpret_cast<void*>(array_multiply)},
    {Py_nb_true_divide, reinterpret_cast<void*>(array_divide)},
    {Py_nb_negative, reinterpret_cast<void*>(array_negative)},
    {Py_nb_matrix_multiply, reinterpret_cast<void*>(array_matmul_operator)},
    {Py_tp_methods, array_methods},
    {Py_tp_getset, array_getset},
    {0, nullptr},
};

PyType_Spec array_spec = {
    "tessaron.Array", sizeof(PyArray), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    array_slots,
};

}  // namespace

PyTypeObject* array_type() {
    static PyTypeObject* type = nullptr;
    if (!type) {
        type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&array_spec));
        // Calls to the class skip tuple packing: Array(shape, data) is hot.
        if (type) type->tp_vectorcall = array_vectorcall;
    }
    return type;
}

PyObject* wrap_array(NdArray&& value) {
    PyTypeObject* type = array_type();
    if (!type) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (!obj) return nullptr;
    auto* a = reinterpret_cast<PyArray*>(obj);
    new (&a->value) NdArray(std::move(value));
    new (&a->loan) LoanFlag();
    return obj;
}

}  // namespace tessaron::py
