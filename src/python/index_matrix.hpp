// tessaron.spatial.IndexMatrix: a matrix of 64-bit signed ints (the
// k-nearest rows of a batch). It exports its buffer (NumPy takes it without
// a copy), has a shape, rows by len(), iteration and m[i], m[i, j], tolist(),
// == with another matrix, and pickles as its shape and bytes.
#pragma once

#include <cstdint>

#include "python/py.hpp"
#include "python/ref.hpp"

namespace tessaron::py {

// A new matrix of rows x cols zeroed ints (C order) whose storage `data`
// points to; nullptr with an exception on failure. Write the values before
// the matrix reaches Python code.
Ref index_matrix(std::uint64_t rows, std::uint64_t cols, std::int64_t*& data);

// A new vector (shape (length,)) of zeroed ints, as index_matrix.
Ref index_vector(std::uint64_t length, std::int64_t*& data);

// Adds the class to tessaron.spatial (not to its __all__).
bool add_index_matrix_type(PyObject* module);

// The rebuild function for unpickling (on the top-level module).
PyMethodDef index_matrix_rebuild_def();

}  // namespace tessaron::py
