#include "python/index_matrix.hpp"

#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "array/buffer.hpp"
#include "python/binding.hpp"
#include "python/object.hpp"
#include "python/pickling.hpp"

namespace tessaron::py {
namespace {

// Storage whose new elements are left uninitialised: every result is
// written in full once made, and zeroing hundreds of megabytes first would
// cost as long again (with the GIL held). Large blocks are advised to
// use huge pages, as the Arrays' are.
template <class T>
struct UninitAllocator : std::allocator<T> {
    using value_type = T;
    UninitAllocator() = default;
    template <class U>
    UninitAllocator(const UninitAllocator<U>&) noexcept {}
    template <class U>
    struct rebind {
        using other = UninitAllocator<U>;
    };
    T* allocate(std::size_t n) {
        T* p = std::allocator<T>::allocate(n);
        advise_huge_pages(p, n * sizeof(T));
        return p;
    }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... A>
    void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};
using IndexValues = std::vector<std::int64_t, UninitAllocator<std::int64_t>>;

// Two-dimensional, or one-dimensional (a vector of shape (n,): counts,
// offsets, flat answers).
struct IndexMatrix {
    IndexValues values;
    int ndim = 2;
    Py_ssize_t shape[2] = {0, 0};
    Py_ssize_t strides[2] = {0, 0};

    bool vector() const { return ndim == 1; }
    Py_ssize_t rows() const { return shape[0]; }
    Py_ssize_t cols() const { return vector() ? 1 : shape[1]; }
    const std::int64_t* row(Py_ssize_t i) const { return values.data() + i * cols(); }
};

IndexMatrix& matrix(PyObject* self) { return value_of<IndexMatrix>(self); }

// Exports the whole matrix, C-contiguous; the storage
// never moves, so any number of exports may be alive.
int get_buffer(PyObject* self, Py_buffer* view, int flags) {
    IndexMatrix& m = matrix(self);
    view->obj = Py_NewRef(self);
    view->buf = m.values.data();
    view->len = static_cast<Py_ssize_t>(m.values.size() * sizeof(std::int64_t));
    view->readonly = 0;
    view->itemsize = sizeof(std::int64_t);
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("q") : nullptr;
    view->ndim = m.ndim;
    view->shape = (flags & PyBUF_ND) == PyBUF_ND ? m.shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? m.strides : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

PyObject* value_at(const IndexMatrix& m, Py_ssize_t i) { return PyLong_FromLongLong(m.values[i]); }

// Row i as a list of ints (of a vector: its i-th value).
PyObject* row_list(const IndexMatrix& m, Py_ssize_t i) {
    if (m.vector()) return value_at(m, i);
    Ref out = Ref::steal(PyList_New(m.cols()));
    if (!out) return nullptr;
    for (Py_ssize_t j = 0; j < m.cols(); ++j) {
        PyObject* value = PyLong_FromLongLong(m.row(i)[j]);
        if (!value) return nullptr;
        PyList_SET_ITEM(out.get(), j, value);
    }
    return out.release();
}

PyObject* rows_list(const IndexMatrix& m) {
    Ref out = Ref::steal(PyList_New(m.rows()));
    if (!out) return nullptr;
    for (Py_ssize_t i = 0; i < m.rows(); ++i) {
        PyObject* row = row_list(m, i);
        if (!row) return nullptr;
        PyList_SET_ITEM(out.get(), i, row);
    }
    return out.release();
}

using ToList = Signature<"tolist($self)", "IndexMatrix">;
PyObject* to_list(PyObject* self, Args<ToList>&) { return rows_list(matrix(self)); }

using ToBytes = Signature<"tobytes($self)", "IndexMatrix">;
PyObject* to_bytes(PyObject* self, Args<ToBytes>&) {
    const IndexMatrix& m = matrix(self);
    return bytes_from(m.values.data(), m.values.size() * sizeof(std::int64_t));
}

// The values as little-endian 64-bit ints, whatever this machine's order.
IndexValues little_endian(IndexValues values) {
    if constexpr (std::endian::native == std::endian::big)
        for (std::int64_t& v : values) v = static_cast<std::int64_t>(__builtin_bswap64(static_cast<std::uint64_t>(v)));
    return values;
}

// Pickles compactly: the shape and the values as bytes.
using Reduce = Signature<"__reduce__($self)", "IndexMatrix">;
PyObject* reduce(PyObject* self, Args<Reduce>&) {
    const IndexMatrix& m = matrix(self);
    const IndexValues values = little_endian(m.values);
    Ref fn = Ref::steal(rebuild_function("_rebuild_index_matrix"));
    Ref bytes = fn ? Ref::steal(bytes_from(values.data(), values.size() * sizeof(std::int64_t))) : Ref();
    if (!bytes) return nullptr;
    if (m.vector()) return Py_BuildValue("O(nOO)", fn.get(), m.rows(), Py_None, bytes.get());
    return Py_BuildValue("O(nnO)", fn.get(), m.rows(), m.cols(), bytes.get());
}

PyObject* get_shape(PyObject* self, void*) {
    const IndexMatrix& m = matrix(self);
    return m.vector() ? Py_BuildValue("(n)", m.rows()) : Py_BuildValue("(nn)", m.rows(), m.cols());
}
PyObject* get_ndim(PyObject* self, void*) { return PyLong_FromLong(matrix(self).ndim); }
PyObject* get_format(PyObject*, void*) { return PyUnicode_FromString("q"); }
PyObject* get_itemsize(PyObject*, void*) { return PyLong_FromLong(sizeof(std::int64_t)); }
PyObject* get_nbytes(PyObject* self, void*) {
    return PyLong_FromSize_t(matrix(self).values.size() * sizeof(std::int64_t));
}

PyGetSetDef getset[] = {
    {"shape", get_shape, nullptr, "(rows, columns), or (length,) for a vector", nullptr},
    {"ndim", get_ndim, nullptr, "2, or 1 for a vector", nullptr},
    {"format", get_format, nullptr, "'q': 64-bit signed ints", nullptr},
    {"itemsize", get_itemsize, nullptr, "8", nullptr},
    {"nbytes", get_nbytes, nullptr, "rows * columns * 8", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

Py_ssize_t length(PyObject* self) { return matrix(self).rows(); }

// Position `i` (negative from the end) in [0, n), or IndexError.
bool position(PyObject* key, Py_ssize_t n, Py_ssize_t& out) {
    const Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_IndexError);
    if (i == -1 && PyErr_Occurred()) return false;
    out = i < 0 ? i + n : i;
    if (out < 0 || out >= n) {
        PyErr_SetString(PyExc_IndexError, "index out of range");
        return false;
    }
    return true;
}

// m[i]: row i as a list of ints (of a vector: one int); m[i, j]: one int.
PyObject* subscript(PyObject* self, PyObject* key) {
    const IndexMatrix& m = matrix(self);
    Py_ssize_t i = 0, j = 0;
    if (PyIndex_Check(key)) return position(key, m.rows(), i) ? row_list(m, i) : nullptr;
    if (!m.vector() && PyTuple_Check(key) && PyTuple_GET_SIZE(key) == 2 && PyIndex_Check(PyTuple_GET_ITEM(key, 0)) &&
        PyIndex_Check(PyTuple_GET_ITEM(key, 1))) {
        if (!position(PyTuple_GET_ITEM(key, 0), m.rows(), i) || !position(PyTuple_GET_ITEM(key, 1), m.cols(), j))
            return nullptr;
        return PyLong_FromLongLong(m.row(i)[j]);
    }
    PyErr_SetString(PyExc_TypeError, "IndexMatrix indices must be integers or (row, column) tuples of integers");
    return nullptr;
}

// Iteration yields the rows, as lists of ints.
PyObject* iterate(PyObject* self) {
    Ref rows = Ref::steal(rows_list(matrix(self)));
    return rows ? PyObject_GetIter(rows.get()) : nullptr;
}

PyObject* compare(PyObject* self, PyObject* other, int op) {
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(other) != Py_TYPE(self)) Py_RETURN_NOTIMPLEMENTED;
    const IndexMatrix &a = matrix(self), &b = matrix(other);
    const bool equal = a.ndim == b.ndim && a.rows() == b.rows() && a.cols() == b.cols() && a.values == b.values;
    return PyBool_FromLong(equal == (op == Py_EQ));
}

// "IndexMatrix(shape=(m, k), rows=[[0, 5, 2], [1, 4, 3], ...])": at most
// three rows and eight columns are shown.
std::string row_text(const std::int64_t* row, Py_ssize_t count) {
    std::string text = "[";
    for (Py_ssize_t j = 0; j < count; ++j) {
        if (j) text += ", ";
        if (j == 8) {
            text += "...";
            break;
        }
        text += std::to_string(row[j]);
    }
    return text + "]";
}

PyObject* repr(PyObject* self) {
    const IndexMatrix& m = matrix(self);
    if (m.vector()) {  // "IndexMatrix(shape=(n,), values=[0, 5, 2, ...])"
        const std::string text = "IndexMatrix(shape=(" + std::to_string(m.rows()) +
                                 ",), values=" + row_text(m.values.data(), m.rows()) + ")";
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    }
    std::string text = "IndexMatrix(shape=(" + std::to_string(m.rows()) + ", " + std::to_string(m.cols()) + "), rows=[";
    for (Py_ssize_t i = 0; i < m.rows(); ++i) {
        if (i) text += ", ";
        if (i == 3) {
            text += "...";
            break;
        }
        text += row_text(m.row(i), m.cols());
    }
    text += "])";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyMethodDef methods[] = {
    method_def<ToList, to_list>(),
    method_def<ToBytes, to_bytes>(),
    method_def<Reduce, reduce>(),
    kEndOfTable,
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<IndexMatrix>)},
    {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_sq_length, reinterpret_cast<void*>(length)},
    {Py_mp_length, reinterpret_cast<void*>(length)},
    {Py_mp_subscript, reinterpret_cast<void*>(subscript)},
    {Py_tp_iter, reinterpret_cast<void*>(iterate)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_doc, nullptr},  // the class's prose, filled in when the type is created
    {0, nullptr},
};

PyType_Spec spec = sealed_spec<IndexMatrix>("tessaron.spatial.IndexMatrix", slots);

// A new matrix of rows x cols values (a vector of `rows` when cols is
// absent), or nullptr with MemoryError.
PyObject* new_matrix(std::uint64_t rows, std::optional<std::uint64_t> cols, std::int64_t*& data) {
    IndexMatrix m;
    const std::uint64_t width = cols.value_or(1);
    if (width != 0 && rows > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(std::int64_t) / width) {
        PyErr_NoMemory();
        return nullptr;
    }
    m.values.resize(rows * width);
    m.ndim = cols ? 2 : 1;
    m.shape[0] = static_cast<Py_ssize_t>(rows);
    m.shape[1] = static_cast<Py_ssize_t>(width);
    m.strides[0] = static_cast<Py_ssize_t>(width * sizeof(std::int64_t));
    m.strides[1] = sizeof(std::int64_t);
    data = m.values.data();
    // The vector's storage moves with it into the instance.
    return make_instance(std::move(m));
}

using RebuildIndexMatrix = Signature<"_rebuild_index_matrix(rows, cols, data)">;
PyObject* rebuild_index_matrix(Args<RebuildIndexMatrix>& in) {
    std::uint64_t rows = 0;
    std::optional<std::uint64_t> cols;  // None: a vector
    std::string_view data;
    if (!arg<0>(in, rows) || !arg<1>(in, cols) || !bytes_of(in.slots[2], "index matrix", data)) return nullptr;
    // The size is checked before anything is allocated.
    const std::uint64_t width = cols.value_or(1);
    const bool fits = width == 0 || rows <= static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(std::int64_t) / width;
    const std::uint64_t bytes = fits ? rows * width * sizeof(std::int64_t) : 0;
    if (!fits || data.size() != bytes) {
        raise_value_error("Invalid pickled index matrix state: " + std::to_string(data.size()) +
                          " bytes for a matrix of " + std::to_string(rows) +
                          (cols ? " x " + std::to_string(*cols) : std::string(" values")));
        return nullptr;
    }
    std::int64_t* values = nullptr;
    Ref out = Ref::steal(new_matrix(rows, cols, values));
    if (!out) return nullptr;
    if (bytes) std::memcpy(values, data.data(), bytes);
    matrix(out.get()).values = little_endian(std::move(matrix(out.get()).values));  // its own inverse
    return out.release();
}

}  // namespace

template <>
PyTypeObject* type_of<IndexMatrix>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, spec);
}

Ref index_matrix(std::uint64_t rows, std::uint64_t cols, std::int64_t*& data) {
    if (!type_of<IndexMatrix>()) return Ref();
    return Ref::steal(new_matrix(rows, cols, data));
}

Ref index_vector(std::uint64_t length, std::int64_t*& data) {
    if (!type_of<IndexMatrix>()) return Ref();
    return Ref::steal(new_matrix(length, std::nullopt, data));
}

bool add_index_matrix_type(PyObject* module) {
    PyTypeObject* type = type_of<IndexMatrix>();
    return type && PyModule_AddObjectRef(module, "IndexMatrix", reinterpret_cast<PyObject*>(type)) == 0;
}

PyMethodDef index_matrix_rebuild_def() { return function_def<RebuildIndexMatrix, rebuild_index_matrix>(); }

}  // namespace tessaron::py
