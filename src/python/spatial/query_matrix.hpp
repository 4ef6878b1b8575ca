// Reading a batch's queries: m rows of the tree's dimension, copied into
// storage of our own (so the search may run without the GIL).
#pragma once

#include <cstdint>

#include "array/buffer.hpp"
#include "python/py.hpp"

namespace tessaron::py {

struct QueryMatrix {
    Buffer values;  // rows * width, row after row
    std::uint64_t rows = 0, width = 0;
};

// As a `dim`: rows of any width, the same for all.
constexpr std::uint64_t kAnyWidth = ~std::uint64_t{0};

// From an Array of shape (m, dim), any object exporting a two-dimensional
// buffer of real numbers (NumPy arrays of every real dtype, byte order and
// memory layout, converted without a Python object per element), or a
// sequence of m sequences of dim numbers (any one width for kAnyWidth).
// Messages name the argument `name`.
bool query_matrix(PyObject* obj, std::uint64_t dim, QueryMatrix& out, const char* name = "queries");

// "Query dimension 2 doesn't match tree dimension 3".
void raise_dimension_mismatch(const char* what, std::uint64_t got, std::uint64_t dim);

}  // namespace tessaron::py
