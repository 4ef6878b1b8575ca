// Drawing from a fitted kernel density: a point chosen by weight, moved by
// a draw from the kernel around it (Euclidean distances).
#pragma once

#include <cstdint>
#include <vector>

#include "array/ndarray.hpp"
#include "random/generator.hpp"
#include "spatial/kde_kernels.hpp"
#include "spatial/point_set.hpp"

namespace tessaron::spatial {

// n draws, an (n, dim) array. Each takes, in this order: one uniform draw u
// choosing the point (slot floor(u * n) of the points' storage order, or,
// with weights by slot, the first slot whose running sum of weights reaches
// u * total), then the kernel's draws: dim standard normal deviates (taken
// from Box-Muller pairs, the second of a pair kept for the next deviate),
// scaled by h for the gaussian; for the others a direction from dim normal
// deviates and a radius: h * U^(1/dim) for the tophat, the same accepted
// with probability K(U^(1/dim)) (a second uniform) for the other bounded
// kernels, h times the sum of dim exponential deviates (-log of uniforms)
// for the exponential.
NdArray sample_density(const PointSet& points, const std::vector<double>& weights_by_slot, double h, KdeKernel kernel,
                       std::uint64_t n, Generator& g);

}  // namespace tessaron::spatial
