// Element-wise mathematical functions: each element through the C math
// library (or the stated rule), shape kept.
#pragma once

#include "array/ndarray.hpp"

namespace tessaron {

enum class UnaryFn { Sin, Cos, Tan, Arcsin, Arccos, Arctan, Exp, Log, Sqrt, Abs, Sign, Negate };

NdArray apply_unary(const NdArray& a, UnaryFn fn);

// min where x < min, else max where x > max, else x (NaN stays NaN).
NdArray clip(const NdArray& a, double min, double max);

}  // namespace tessaron
