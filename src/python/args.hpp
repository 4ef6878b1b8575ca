// Argument parsing for every binding: one parser for the fast-call-with-
// keywords convention, and one converter per argument kind. Converters set
// CPython's own exception; `arg` adds the "argument '<name>': " prefix.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "array/buffer.hpp"
#include "array/shape.hpp"
#include "python/array/array_object.hpp"
#include "python/loan.hpp"
#include "python/ref.hpp"

namespace tessaron::py {

struct Signature {
    const char* name;  // full name as shown in errors: "zeros()", "Array.diagonal()"
    std::initializer_list<const char*> params;
    std::size_t required;  // the first `required` parameters have no default
};

// Matches positional and keyword arguments to the parameters. Afterwards
// out[i] is the (borrowed) argument for parameter i, or nullptr if omitted.
bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames, PyObject** out);
// The same for the tuple-and-dict convention (tp_new).
bool parse_args_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

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

bool extract(PyObject* obj, double& out);
bool extract(PyObject* obj, std::uint64_t& out);  // a size
bool extract(PyObject* obj, std::int64_t& out);
bool extract(PyObject* obj, Buffer& out);          // a list of floats
bool extract(PyObject* obj, Dims& out);            // a shape, or a list of sizes
bool extract(PyObject* obj, ArrayArg& out);
bool extract(PyObject* obj, ArrayList& out);
bool extract(PyObject* obj, VecOrArray& out);
bool extract(PyObject* obj, ArrayOrScalar& out);

template <class T>
bool extract(PyObject* obj, std::optional<T>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    out.emplace();
    return extract(obj, *out);
}

// Re-raises a pending TypeError as "argument '<name>': <message>", keeping
// its cause; other exceptions pass unchanged.
void prefix_argument_error(const char* name);

// Converts one parsed argument; an omitted (nullptr) argument leaves `out`
// as it is, which for optional parameters means absent.
template <class T>
bool arg(PyObject* obj, const char* name, T& out) {
    if (!obj) return true;
    if (extract(obj, out)) return true;
    prefix_argument_error(name);
    return false;
}

}  // namespace tessaron::py
