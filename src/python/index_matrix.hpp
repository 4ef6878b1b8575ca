// A matrix of 64-bit signed ints handed to Python as a memoryview of format
// 'q': NumPy takes it without copying, tolist() gives lists of ints.
#pragma once

#include <cstdint>

#include "python/ref.hpp"

namespace tessaron::py {

// A new owner of rows x cols zeroed ints (C order) whose storage `data`
// points to; nullptr with an exception on failure. Write the values before
// the owner reaches Python code, then hand it out with memoryview_of.
Ref index_matrix(std::uint64_t rows, std::uint64_t cols, std::int64_t*& data);
PyObject* memoryview_of(const Ref& owner);

}  // namespace tessaron::py
