// Our heap-type instances: each holds one C++ value and its read/write loan.
// Every class is an `Instance<T>` for its value type T; its file defines
// `type_of<T>()`, and `make_instance` and `dealloc` serve them all.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "python/docstrings.hpp"
#include "python/loan.hpp"
#include "python/py.hpp"

namespace tessaron::py {

template <class T>
struct Instance {
    PyObject_HEAD
    T value;
    LoanFlag loan;
};

// The class object for Instance<T>, created on first use and kept for the
// life of the process; nullptr with an exception if creation failed.
template <class T>
PyTypeObject* type_of();

// Creates the type from `spec` once; `slot` is the cache of the caller.
// Calls to the class go through `construct` (no argument tuple is built).
// The class and its methods get their prose docstrings first.
inline PyTypeObject* create_once(PyTypeObject*& slot, PyType_Spec& spec,
                                 vectorcallfunc construct = nullptr) {
    if (!slot) {
        document_spec(spec);
        slot = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
        if (slot) slot->tp_vectorcall = construct;
    }
    return slot;
}

// tp_new for a class whose calls go through its vectorcall: Cls.__new__(Cls,
// ...) then parses and fails exactly as Cls(...) does.
inline PyObject* new_through_vectorcall(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return PyObject_Call(reinterpret_cast<PyObject*>(type), args, kwargs);
}

// The type description of a final class of Instance<T> that Python code
// cannot instantiate (its objects come only from our functions).
template <class T>
constexpr PyType_Spec sealed_spec(const char* name, PyType_Slot* slots) {
    return {
        .name = name,
        .basicsize = sizeof(Instance<T>),
        .itemsize = 0,
        .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
        .slots = slots,
    };
}

template <class T>
T& value_of(PyObject* self) {
    return reinterpret_cast<Instance<T>*>(self)->value;
}

// A new instance of `type` (a class of Instance<T>) taking over `value`;
// nullptr with an exception on failure. The value is complete before the
// object exists, so no constructor can fail halfway through a Python object.
template <class T>
PyObject* make_instance_of(PyTypeObject* type, T&& value) {
    static_assert(std::is_nothrow_move_constructible_v<T> && !std::is_reference_v<T>);
    if (!type) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (!obj) return nullptr;
    auto* instance = reinterpret_cast<Instance<T>*>(obj);
    new (&instance->value) T(std::move(value));
    new (&instance->loan) LoanFlag();
    return obj;
}

template <class T>
PyObject* make_instance(T&& value) {
    return make_instance_of<T>(type_of<T>(), std::move(value));
}

// tp_dealloc: runs the C++ destructors, frees the memory and releases the
// heap type that every instance references.
template <class T>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Instance<T>*>(self)->~Instance<T>();
    type->tp_free(self);
    Py_DECREF(type);
}

}  // namespace tessaron::py
