// Whole-array reductions and order statistics. The array is taken as the
// flat sequence of its elements; sums run left to right from -0.0.
#pragma once

#include <span>
#include <vector>

#include "array/ndarray.hpp"
#include "array/watch.hpp"

namespace tessaron {

double sum(const NdArray& a);
double mean(const NdArray& a);  // NaN when empty
double var(const NdArray& a);   // population variance; NaN when empty
double std_dev(const NdArray& a);
bool any(const NdArray& a);  // some element != 0.0 (NaN counts)
bool all(const NdArray& a);  // no element == 0.0
// The same over values in memory (a buffer of float64 read in place).
double sum(std::span<const double> x);
double mean(std::span<const double> x);
double var(std::span<const double> x);
double std_dev(std::span<const double> x);
bool any(std::span<const double> x);
bool all(std::span<const double> x);

// Order statistics, as read from a copy sorted ascending by a stable sort
// (so equal zeros keep their input order and sign). Data containing NaN
// gives NaN. A q outside [0, 1] (or NaN) fails the assertion
// "Quantile must be between 0 and 1", checked before anything else.
// Large data ticks the watch, if any, as it is selected or sorted.
double median(const NdArray& a, Watch* watch = nullptr);
double quantile(const NdArray& a, double q, Watch* watch = nullptr);
NdArray quantiles(const NdArray& a, const double* qs, std::size_t count, Watch* watch = nullptr);

}  // namespace tessaron
