// Slots and methods of Array beyond construction and inspection.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

PyObject* array_add(PyObject* left, PyObject* right);
PyObject* array_subtract(PyObject* left, PyObject* right);
PyObject* array_multiply(PyObject* left, PyObject* right);
PyObject* array_divide(PyObject* left, PyObject* right);
PyObject* array_negative(PyObject* self);

}  // namespace tessaron::py
