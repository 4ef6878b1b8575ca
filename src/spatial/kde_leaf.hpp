// A kernel's sum over a leaf under the Euclidean metric, four points at a
// time: the hot loop of an exact density.
#pragma once

#include <cstdint>

#include "spatial/kde_kernels.hpp"

namespace tessaron::spatial {

// What the terms need: the bandwidth h, and u0, the scaled distance the
// unbounded kernels are measured from (see kde_kernel).
struct LeafKernel {
    KdeKernel kernel;
    double h, u0;
};

// The sum over n points (row-major, dim coordinates each) of w_i times the
// kernel at |q - p_i| / h, w_i = 1 without weights. Squared distances are
// summed in coordinate order from 0.0, as everywhere. The gaussian's terms
// are exp(-(d^2 - d0^2) / (2 h^2)) (d0 = u0 h) without roots; the others
// take u = sqrt(d^2) / h as kde_kernel does. Exponentials and cosines are
// our own (polynomials within a few units in the last place; exponentials 0
// below e^-708), and the terms are added in four lanes, points i = 0, 4,
// 8, ... to the first, then (lane 0 + lane 1) + (lane 2 + lane 3): the same
// bits on every machine.
double kernel_leaf_sum(const LeafKernel& k, const double* q, const double* points, std::uint64_t n,
                       std::uint64_t dim, const double* weights);

}  // namespace tessaron::spatial
