// Reading exported buffers of real numbers (PEP 3118): any struct-module
// format of one bool, integer or float (NumPy's real dtypes in either byte
// order), any shape and strides, converted to double element by element as
// a C cast does (which is what NumPy's astype(float64) does).
#pragma once

#include <optional>

#include "python/py.hpp"

namespace tessaron::py {

// A held buffer view, released on destruction.
class HeldBuffer {
public:
    HeldBuffer() = default;
    ~HeldBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    HeldBuffer(const HeldBuffer&) = delete;
    HeldBuffer& operator=(const HeldBuffer&) = delete;
    // By default with strides and format, read-only; false with the
    // exporter's error.
    bool acquire(PyObject* obj, int flags = PyBUF_RECORDS_RO) {
        held_ = PyObject_GetBuffer(obj, &view_, flags) == 0;
        return held_;
    }
    const Py_buffer& operator*() const { return view_; }
    const Py_buffer* operator->() const { return &view_; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

// Whether the buffer holds one real number per element in a format we read.
bool holds_reals(const Py_buffer& view);

// Whether the buffer is float64 in this machine's byte order and C order,
// so that its memory can be read in place as the values it holds.
bool native_doubles(const Py_buffer& view);

// Every element of a buffer that holds_reals, in C (row-major) order, into
// out[0, product of the shape).
void read_reals(const Py_buffer& view, double* out);

}  // namespace tessaron::py
