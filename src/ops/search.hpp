// Scans of an array's elements.
#pragma once

#include "array/ndarray.hpp"

namespace tessaron {

// Whether some element equals v under IEEE equality (NaN never does; 0.0
// and -0.0 match each other).
bool contains(const NdArray& a, double v);

}  // namespace tessaron
