// Slots and methods of Array beyond construction and inspection.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

PyObject* array_add(PyObject* left, PyObject* right);
PyObject* array_subtract(PyObject* left, PyObject* right);
PyObject* array_multiply(PyObject* left, PyObject* right);
PyObject* array_divide(PyObject* left, PyObject* right);
PyObject* array_negative(PyObject* self);
PyObject* array_matmul_operator(PyObject* left, PyObject* right);
PyObject* array_subscript(PyObject* self, PyObject* key);
int array_assign(PyObject* self, PyObject* key, PyObject* value);  // value nullptr: deletion
int array_contains(PyObject* self, PyObject* value);

// Methods (METH_FASTCALL | METH_KEYWORDS).
#define TESSARON_DECLARE_METHOD(fn) \
    PyObject* fn(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
TESSARON_DECLARE_METHOD(array_matmul)
TESSARON_DECLARE_METHOD(array_dot)
TESSARON_DECLARE_METHOD(array_t)
TESSARON_DECLARE_METHOD(array_transpose)
TESSARON_DECLARE_METHOD(array_diagonal)
TESSARON_DECLARE_METHOD(array_outer)
TESSARON_DECLARE_METHOD(array_sin)
TESSARON_DECLARE_METHOD(array_cos)
TESSARON_DECLARE_METHOD(array_tan)
TESSARON_DECLARE_METHOD(array_arcsin)
TESSARON_DECLARE_METHOD(array_arccos)
TESSARON_DECLARE_METHOD(array_arctan)
TESSARON_DECLARE_METHOD(array_exp)
TESSARON_DECLARE_METHOD(array_log)
TESSARON_DECLARE_METHOD(array_sqrt)
TESSARON_DECLARE_METHOD(array_abs)
TESSARON_DECLARE_METHOD(array_sign)
TESSARON_DECLARE_METHOD(array_clip)
TESSARON_DECLARE_METHOD(array_sum)
TESSARON_DECLARE_METHOD(array_mean)
TESSARON_DECLARE_METHOD(array_var)
TESSARON_DECLARE_METHOD(array_std)
TESSARON_DECLARE_METHOD(array_median)
TESSARON_DECLARE_METHOD(array_quantile)
TESSARON_DECLARE_METHOD(array_any)
TESSARON_DECLARE_METHOD(array_all)
TESSARON_DECLARE_METHOD(array_get)
TESSARON_DECLARE_METHOD(array_take)

}  // namespace tessaron::py
