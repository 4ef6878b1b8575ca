// Construction functions: module-level `zeros`, `ones`, ... and the identical
// static methods of Array, plus the Array methods that convert or inspect.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

// Module-level construction functions, terminated by an empty entry.
PyMethodDef* module_functions();

// Static methods of Array (full name "Array.<name>()" in errors).
#define TESSARON_DECLARE_STATIC(name) \
    PyObject* name##_static(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
TESSARON_DECLARE_STATIC(zeros)
TESSARON_DECLARE_STATIC(ones)
TESSARON_DECLARE_STATIC(full)
TESSARON_DECLARE_STATIC(eye)
TESSARON_DECLARE_STATIC(diag)
TESSARON_DECLARE_STATIC(asarray)
#undef TESSARON_DECLARE_STATIC

// The Array(shape, data) constructor, in both calling conventions.
PyObject* array_vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf,
                           PyObject* kwnames);
PyObject* array_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);

// Conversion methods (self is an Array).
PyObject* array_tolist(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* array_to_pylist_recursive(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames);
PyObject* array_to_numpy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* array_from_numpy(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace tessaron::py
