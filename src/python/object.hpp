// Lifetime of our heap-type instances: each struct holds PyObject_HEAD and
// C++ members that are constructed in place after tp_alloc.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

// tp_dealloc for a struct Object: runs its C++ destructors, frees the memory
// and releases the heap type that every instance references.
template <class Object>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Object*>(self)->~Object();
    type->tp_free(self);
    Py_DECREF(type);
}

}  // namespace tessaron::py
