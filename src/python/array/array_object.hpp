// The Python object behind `Array`: one exclusively owned NdArray.
#pragma once

#include "array/ndarray.hpp"
#include "python/loan.hpp"
#include "python/ref.hpp"

namespace tessaron::py {

struct PyArray {
    PyObject_HEAD
    NdArray value;
    LoanFlag loan;
};

// The `Array` type object, created on first use and cached.
PyTypeObject* array_type();
// The PyArrayIter type object.
PyTypeObject* array_iter_type();

inline bool is_array(PyObject* obj) {
    PyTypeObject* t = array_type();
    return t && Py_IS_TYPE(obj, t);
}

// Array.__iter__: a PyArrayIter over a private copy of the elements.
PyObject* array_iter(PyObject* self);

// A new Array object owning `value`; nullptr with an exception on failure.
PyObject* wrap_array(NdArray&& value);

}  // namespace tessaron::py
