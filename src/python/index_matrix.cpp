#include "python/index_matrix.hpp"

#include <vector>

#include "python/object.hpp"

namespace tessaron::py {
namespace {

struct IndexMatrix {
    std::vector<std::int64_t> values;
    Py_ssize_t shape[2] = {0, 0};
    Py_ssize_t strides[2] = {0, 0};
};

// Exports the whole matrix, two-dimensional and C-contiguous; the storage
// never moves, so any number of exports may be alive.
int get_buffer(PyObject* self, Py_buffer* view, int flags) {
    IndexMatrix& m = value_of<IndexMatrix>(self);
    view->obj = Py_NewRef(self);
    view->buf = m.values.data();
    view->len = static_cast<Py_ssize_t>(m.values.size() * sizeof(std::int64_t));
    view->readonly = 0;
    view->itemsize = sizeof(std::int64_t);
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("q") : nullptr;
    view->ndim = 2;
    view->shape = (flags & PyBUF_ND) == PyBUF_ND ? m.shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? m.strides : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<IndexMatrix>)},
    {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
    {0, nullptr},
};

PyType_Spec spec = sealed_spec<IndexMatrix>("tessaron._IndexMatrix", slots);

}  // namespace

template <>
PyTypeObject* type_of<IndexMatrix>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, spec);
}

Ref index_matrix(std::uint64_t rows, std::uint64_t cols, std::int64_t*& data) {
    IndexMatrix m;
    if (cols != 0 && rows > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(std::int64_t) / cols) {
        PyErr_NoMemory();
        return Ref();
    }
    m.values.resize(rows * cols);
    m.shape[0] = static_cast<Py_ssize_t>(rows);
    m.shape[1] = static_cast<Py_ssize_t>(cols);
    m.strides[0] = static_cast<Py_ssize_t>(cols * sizeof(std::int64_t));
    m.strides[1] = sizeof(std::int64_t);
    data = m.values.data();
    // The vector's storage moves with it into the instance.
    return Ref::steal(make_instance(std::move(m)));
}

PyObject* memoryview_of(const Ref& owner) { return PyMemoryView_FromObject(owner.get()); }

}  // namespace tessaron::py
