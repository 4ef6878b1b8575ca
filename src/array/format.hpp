// Text forms of numbers and arrays, as shown by repr().
#pragma once

#include <string>

#include "array/ndarray.hpp"

namespace tessaron {

// Shortest digits that read back as exactly x: positional for
// 1e-4 <= |x| < 1e16, scientific ("1.5e-5", "1e16") otherwise.
void append_float(std::string& out, double x);

// "Array(shape=[2, 2], data=[1.0, 0.0, 0.0, 1.0])"
std::string array_repr(const NdArray& a);

}  // namespace tessaron
