// Reading the trees' query arguments and writing their answers.
#pragma once

#include <cstdint>
#include <optional>

#include "array/buffer.hpp"
#include "array/ndarray.hpp"
#include "python/py.hpp"

namespace tessaron::py {

// A scalar, a sequence of floats or an Array (all its elements), as a vector.
bool point_query(PyObject* obj, Buffer& out);

// The density query set: nothing (the tree's own points), a scalar, an
// Array of one or two dimensions, or a sequence of floats of length dim.
// `own` is set when the tree's points were asked for.
bool density_queries(PyObject* obj, std::uint64_t dim, std::optional<NdArray>& out, bool& own);

// One density as a float, several as a 1-D Array.
PyObject* densities(NdArray&& d);

}  // namespace tessaron::py
