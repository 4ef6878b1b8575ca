// Arithmetic of the search bounds: NaN-passing extremes, and the sliver that
// keeps a bound formed from two rounded distances on the safe side.
#pragma once

#include <cmath>

namespace tessaron::spatial {

// The larger (smaller) of two values, passing over a NaN operand as fmax
// (fmin) does, but inline.
inline double max_of(double a, double b) { return a > b || b != b ? a : b; }
inline double min_of(double a, double b) { return a < b || b != b ? a : b; }

// A sliver above the rounding errors of a bound formed from two distances
// a and b: (a + b) * 2^-40, or where that sum overflows the same from the
// halves (an infinite b taken as the largest double).
inline double rounding_sliver(double a, double b) {
    const double s = (a + b) * 0x1p-40;
    if (s != HUGE_VAL) return s;
    return a * 0x1p-40 + (b < HUGE_VAL ? b : 0x1.fffffffffffffp1023) * 0x1p-40;
}

}  // namespace tessaron::spatial
