// PyArrayIter: iterates a private copy of an Array's flat elements, so the
// Array may change or die while the iterator is in use.
#include <new>

#include "python/array/array_object.hpp"
#include "python/errors.hpp"
#include "python/object.hpp"

namespace tessaron::py {
namespace {

struct PyArrayIter {
    PyObject_HEAD
    Buffer data;
    std::size_t index;
    LoanFlag loan;
};


PyObject* iter_next(PyObject* self) {
    auto* it = reinterpret_cast<PyArrayIter*>(self);
    WriteLoan loan;
    if (!loan.acquire(it->loan)) return nullptr;
    if (it->index >= it->data.size()) return nullptr;  // exhausted, no error set
    return PyFloat_FromDouble(it->data[it->index++]);
}

PyType_Slot iter_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<PyArrayIter>)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(iter_next)},
    {0, nullptr},
};

PyType_Spec iter_spec = {
    "tessaron.PyArrayIter", sizeof(PyArrayIter), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, iter_slots,
};

}  // namespace

PyTypeObject* array_iter_type() {
    static PyTypeObject* type = nullptr;
    if (!type) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&iter_spec));
    return type;
}

PyObject* array_iter(PyObject* self) {
    return guard([&]() -> PyObject* {
        auto* a = reinterpret_cast<PyArray*>(self);
        ReadLoan read;
        if (!read.acquire(a->loan)) return nullptr;
        PyTypeObject* type = array_iter_type();
        if (!type) return nullptr;
        Buffer copy = a->value.data;  // may throw bad_alloc before anything is allocated
        PyObject* obj = type->tp_alloc(type, 0);
        if (!obj) return nullptr;
        auto* it = reinterpret_cast<PyArrayIter*>(obj);
        new (&it->data) Buffer(std::move(copy));
        it->index = 0;
        new (&it->loan) LoanFlag();
        return obj;
    });
}

}  // namespace tessaron::py
