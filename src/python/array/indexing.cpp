// Subscription, item assignment, membership, get and take. Reads always copy:
// a sub-array is a new Array, never a view.
#include <algorithm>

#include "ops/search.hpp"
#include "python/array/array_method.hpp"

namespace tessaron::py {
namespace {

// An integer index from PyLong_AsLong (ints, bools and __index__ objects).
bool to_index(PyObject* obj, std::int64_t& out) {
    const long v = PyLong_AsLong(obj);
    if (v == -1 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

// Whether the pending exception is a failed integer conversion (TypeError,
// or OverflowError for an int out of range), which the indexing messages
// replace; any other exception (an interrupt, MemoryError, a conflicting
// loan) passes through unchanged.
bool conversion_failed() {
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Clear();
    return true;
}

// The position of index j along an axis of length d (negative counts from the
// end), in unsigned arithmetic so no value of j can overflow; ValueError when
// it falls outside.
bool normalise(std::int64_t j, std::uint64_t d, std::size_t axis, std::uint64_t& out) {
    const bool negative = j < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(j) : static_cast<std::uint64_t>(j);
    if (negative ? magnitude <= d : magnitude < d) {
        out = negative ? d - magnitude : magnitude;
        return true;
    }
    raise_value_error("index " + std::to_string(j) + " is out of bounds for axis " + std::to_string(axis) +
                      " with size " + std::to_string(d));
    return false;
}

// Converts and normalises the items of a tuple key; conversion errors pass
// unchanged. Returns the flat offset of the addressed block.
bool tuple_offset(const NdArray& a, PyObject* key, std::uint64_t& offset) {
    offset = 0;
    const Py_ssize_t k = PyTuple_GET_SIZE(key);
    for (Py_ssize_t i = 0; i < k; ++i) {
        std::int64_t j = 0;
        std::uint64_t pos = 0;
        if (!to_index(PyTuple_GET_ITEM(key, i), j) ||
            !normalise(j, a.shape[static_cast<std::size_t>(i)], static_cast<std::size_t>(i), pos))
            return false;
        offset += pos * a.strides[static_cast<std::size_t>(i)];
    }
    return true;
}

PyObject* too_many_indices(std::size_t ndim, std::size_t k) {
    raise_value_error("too many indices for array: array is " + std::to_string(ndim) +
                      "-dimensional, but " + std::to_string(k) + " were indexed");
    return nullptr;
}

// The block of the trailing dimensions from `first_dim`, starting at `offset`:
// a float when no dimension is left, else a new Array.
PyObject* block(const NdArray& a, std::size_t first_dim, std::uint64_t offset) {
    if (first_dim == a.ndim()) {
        if (offset >= a.size()) {
            raise_value_error("index out of bounds");
            return nullptr;
        }
        return PyFloat_FromDouble(a.data[offset]);
    }
    const std::uint64_t length = first_dim == 0 ? a.size() : a.strides[first_dim - 1];
    Dims dims(a.shape.dims.begin() + static_cast<std::ptrdiff_t>(first_dim), a.shape.dims.end());
    Buffer values = Buffer::copy_of(a.data.data() + offset, length);
    return wrap_array(NdArray::make(Shape{std::move(dims)}, std::move(values)));
}

PyObject* flat_slice(const NdArray& a, PyObject* key) {
    Py_ssize_t start = 0, stop = 0, step = 0;
    if (PySlice_Unpack(key, &start, &stop, &step) < 0) return nullptr;
    const Py_ssize_t n = static_cast<Py_ssize_t>(std::min<std::uint64_t>(a.size(), PY_SSIZE_T_MAX));
    const Py_ssize_t count = PySlice_AdjustIndices(n, &start, &stop, step);
    NdArray out = NdArray::uninit(d1(static_cast<std::uint64_t>(count)));
    const double* src = a.data.data();
    double* dst = out.data.data();
    if (step == 1) {
        std::copy_n(src + start, count, dst);
    } else {
        // Unsigned positions: the step after the last element may leave the
        // array (or the range of Py_ssize_t) without harm.
        auto pos = static_cast<std::size_t>(start);
        const auto stride = static_cast<std::size_t>(step);
        for (Py_ssize_t i = 0; i < count; ++i, pos += stride) dst[i] = src[pos];
    }
    return wrap_array(std::move(out));
}

PyObject* subscript(PyObject* self, PyObject* key) {
    return with_self(self, [&](const NdArray& a) -> PyObject* {
        if (PyTuple_Check(key)) {
            const auto k = static_cast<std::size_t>(PyTuple_GET_SIZE(key));
            if (k > a.ndim()) return too_many_indices(a.ndim(), k);
            std::uint64_t offset = 0;
            if (!tuple_offset(a, key, offset)) return nullptr;
            return block(a, k, offset);
        }
        std::int64_t j = 0;
        if (to_index(key, j)) {
            if (a.ndim() == 0) return too_many_indices(0, 1);
            std::uint64_t pos = 0;
            if (!normalise(j, a.shape[0], 0, pos)) return nullptr;
            return block(a, 1, pos * a.strides[0]);
        }
        if (!conversion_failed()) return nullptr;
        if (Py_IS_TYPE(key, &PySlice_Type)) return flat_slice(a, key);
        raise_value_error("indices must be integers, slices, or tuples of integers");
        return nullptr;
    });
}

int assign(PyObject* self, PyObject* key, PyObject* value) {
    if (!value) {
        PyErr_SetString(PyExc_NotImplementedError, "can't delete item");
        return -1;
    }
    return guard_as(-1, [&]() -> int {
        auto* obj = reinterpret_cast<PyArray*>(self);
        WriteLoan loan;
        if (!loan.acquire(obj->loan)) return -1;
        double v = 0.0;
        if (!arg(value, "value", v)) return -1;
        NdArray& a = obj->value;
        std::uint64_t offset = 0;
        if (PyTuple_Check(key)) {
            const auto k = static_cast<std::size_t>(PyTuple_GET_SIZE(key));
            if (k != a.ndim()) {
                raise_value_error("cannot set item: expected " + std::to_string(a.ndim()) +
                                  " indices, got " + std::to_string(k));
                return -1;
            }
            if (!tuple_offset(a, key, offset)) return -1;
        } else {
            std::int64_t j = 0;
            if (!to_index(key, j)) {
                if (!conversion_failed()) return -1;
                raise_value_error("indices must be integers or tuples of integers for assignment");
                return -1;
            }
            if (a.ndim() != 1) {
                raise_value_error(
                    "single index assignment only supported for 1D arrays; use tuple indexing for "
                    "nD arrays");
                return -1;
            }
            if (!normalise(j, a.shape[0], 0, offset)) return -1;
        }
        if (offset >= a.size()) {
            raise_value_error("index out of bounds");
            return -1;
        }
        a.data[offset] = v;
        return 0;
    });
}

int contains_slot(PyObject* self, PyObject* value) {
    return guard_as(-1, [&]() -> int {
        ArrayArg a;
        double v = 0.0;
        if (!extract(self, a) || !arg(value, "value", v)) return -1;
        return contains(a.value(), v) ? 1 : 0;
    });
}

using Get = ArrayMethod<"get($self, indices)">;
PyObject* get(const NdArray& a, Args<Get>& in) {
    Dims indices;
    if (!arg<0>(in, indices)) return nullptr;
    auto element = a.get(indices);
    if (!element) {
        raise_value_error("Index out of bounds");
        return nullptr;
    }
    return PyFloat_FromDouble(**element);
}

using Take = ArrayMethod<"take($self, indices)">;
PyObject* take(const NdArray& a, Args<Take>& in) {
    Dims indices;
    if (!arg<0>(in, indices)) return nullptr;
    return wrap_array(a.take(indices));
}

const PyMethodDef defs[] = {
    array_method_def<Get, get>(),
    array_method_def<Take, take>(),
};

const PyType_Slot slots[] = {
    {Py_sq_contains, reinterpret_cast<void*>(contains_slot)},
    {Py_mp_subscript, reinterpret_cast<void*>(subscript)},
    {Py_mp_ass_subscript, reinterpret_cast<void*>(assign)},
};

}  // namespace

ClassPart indexing_part() { return {defs, slots}; }

}  // namespace tessaron::py
