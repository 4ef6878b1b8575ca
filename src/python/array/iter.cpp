// PyArrayIter: iterates a private copy of an Array's flat elements, so the
// Array may change or die while the iterator is in use.
#include "python/array/array_object.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

struct IterState {
    Buffer data;
    std::size_t index = 0;
};

namespace {

PyObject* iter_next(PyObject* self) {
    auto* it = reinterpret_cast<Instance<IterState>*>(self);
    WriteLoan loan;
    if (!loan.acquire(it->loan)) return nullptr;
    IterState& s = it->value;
    if (s.index >= s.data.size()) return nullptr;  // exhausted, no error set
    return PyFloat_FromDouble(s.data[s.index++]);
}

PyType_Slot iter_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<IterState>)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(iter_next)},
    {0, nullptr},
};

PyType_Spec iter_spec = sealed_spec<IterState>("tessaron.PyArrayIter", iter_slots);

PyObject* array_iter(PyObject* self) {
    return guard([&]() -> PyObject* {
        auto* a = reinterpret_cast<PyArray*>(self);
        ReadLoan read;
        if (!read.acquire(a->loan)) return nullptr;
        return make_instance<IterState>(IterState{a->value.data, 0});
    });
}

const PyType_Slot slots[] = {
    {Py_tp_iter, reinterpret_cast<void*>(array_iter)},
};

}  // namespace

template <>
PyTypeObject* type_of<IterState>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, iter_spec);
}

ClassPart iteration_part() { return {{}, slots}; }

}  // namespace tessaron::py
