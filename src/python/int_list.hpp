// A list of Python ints from unsigned 64-bit values (shapes, row indices).
#pragma once

#include <cstdint>
#include <span>

#include "python/ref.hpp"

namespace tessaron::py {

inline PyObject* int_list(std::span<const std::uint64_t> values) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyLong_FromUnsignedLongLong(values[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace tessaron::py
