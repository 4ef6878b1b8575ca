// Correlation: average ranks, and Pearson's and Spearman's coefficients of
// two vectors. Unsupported inputs fail an internal assertion.
#pragma once

#include "array/ndarray.hpp"
#include "array/watch.hpp"

namespace tessaron {

// 1-based ranks of a 1-D array; tied values share the mean of their
// positions. Values are ordered ascending with equal values in index order;
// NaN comes after every number and, equal to nothing, is ranked alone (NaNs
// in index order).
NdArray ranks(const NdArray& a, Watch* watch = nullptr);

// Pearson's product-moment correlation; 0.0 when either vector has zero
// deviation (so also for two empty vectors).
double pearson(const NdArray& a, const NdArray& b);
double pearson(const NdArray& a, const NdArray& b, Watch* watch);  // the watch told of the sums

// Pearson's correlation of the two rank vectors.
double spearman(const NdArray& a, const NdArray& b, Watch* watch = nullptr);

}  // namespace tessaron
