// Array-valued argument kinds: an Array borrowed for reading, a list of
// Arrays, an Array or a list of floats, an Array or a float. Each converter
// sets CPython's own exception, as the plain kinds in args.hpp do.
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "python/args.hpp"
#include "python/array/array_object.hpp"
#include "python/loan.hpp"

namespace tessaron::py {

// An Array argument: an Array borrowed for reading for the duration of the
// call, or any other object exporting a buffer of real numbers (a NumPy
// array of any real dtype and layout, array.array, a memoryview), read into
// an Array of its own as Array.from_numpy reads.
struct ArrayArg {
    PyArray* obj = nullptr;
    ReadLoan loan;
    std::optional<NdArray> converted;
    bool held() const { return obj != nullptr || converted.has_value(); }
    const NdArray& value() const { return obj ? obj->value : *converted; }
    // The value as an array of the caller's own (the conversion moved out,
    // or a copy of the Array), for work that runs after the loan ends.
    NdArray take() { return converted ? std::move(*converted) : obj->value; }
};

// Whether obj may hold numbers in a buffer (bytes and bytearrays are text
// to Python, and are read as sequences or refused, never as numbers).
inline bool may_export_numbers(PyObject* obj) {
    return !PyBytes_Check(obj) && !PyByteArray_Check(obj) && PyObject_CheckBuffer(obj);
}

// How an object's buffer was read as an Array.
enum class BufferRead {
    NotABuffer,  // no buffer of numbers (or too few dimensions): try the other kinds
    Read,        // read into `out`
    Failed,      // a buffer of something else than real numbers: TypeError set
};
// Reads obj's buffer into `out` when it exports one of at least `min_ndim`
// dimensions. Bytes, bytearrays (text, to Python) and, where `sequences`
// are taken too, arrays of Python objects count as no buffer.
BufferRead read_buffer_array(PyObject* obj, std::optional<NdArray>& out, int min_ndim, bool sequences);

// The Arrays of a list-of-Arrays argument, each borrowed for reading.
struct ArrayList {
    std::vector<Ref> refs;
    std::vector<ReadLoan> loans;
    std::deque<NdArray> converted;  // items read from buffers (a deque keeps their places)
    std::vector<const NdArray*> arrays;
};

// An Array (borrowed read-only: the callee never writes it, so no copy is
// needed) or a list of floats.
struct VecOrArray {
    ArrayArg array;
    Buffer vec;
    bool is_array() const { return array.held(); }
    // The Array, or the list as a one-dimensional array (built on first use).
    const NdArray& as_array() {
        if (is_array()) return array.value();
        if (!list_array) {
            const std::size_t n = vec.size();
            list_array = NdArray::make(d1(n), std::move(vec));
        }
        return *list_array;
    }

private:
    std::optional<NdArray> list_array;
};

// An Array (borrowed read-only) or a float.
struct ArrayOrScalar {
    ArrayArg array;
    double scalar = 0.0;
    bool is_array() const { return array.held(); }
};

bool extract(PyObject* obj, ArrayArg& out);
bool extract(PyObject* obj, ArrayList& out);
bool extract(PyObject* obj, VecOrArray& out);
bool extract(PyObject* obj, ArrayOrScalar& out);

}  // namespace tessaron::py
