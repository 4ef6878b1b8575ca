// Array-valued argument kinds: an Array borrowed for reading, a list of
// Arrays, an Array or a list of floats, an Array or a float. Each converter
// sets CPython's own exception, as the plain kinds in args.hpp do.
#pragma once

#include <optional>
#include <vector>

#include "python/args.hpp"
#include "python/array/array_object.hpp"
#include "python/loan.hpp"

namespace tessaron::py {

// An Array argument borrowed for reading for the duration of the call.
struct ArrayArg {
    PyArray* obj = nullptr;
    ReadLoan loan;
    const NdArray& value() const { return obj->value; }
};

// The Arrays of a list-of-Arrays argument, each borrowed for reading.
struct ArrayList {
    std::vector<Ref> refs;
    std::vector<ReadLoan> loans;
    std::vector<const NdArray*> arrays;
};

// An Array (borrowed read-only: the callee never writes it, so no copy is
// needed) or a list of floats.
struct VecOrArray {
    ArrayArg array;
    Buffer vec;
    bool is_array() const { return array.obj != nullptr; }
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
    bool is_array() const { return array.obj != nullptr; }
};

bool extract(PyObject* obj, ArrayArg& out);
bool extract(PyObject* obj, ArrayList& out);
bool extract(PyObject* obj, VecOrArray& out);
bool extract(PyObject* obj, ArrayOrScalar& out);

}  // namespace tessaron::py
