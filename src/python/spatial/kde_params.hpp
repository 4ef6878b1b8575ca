// KernelDensity's parameters as fit and the scoring methods read them from
// the estimator's attributes, each checked with a message naming it.
#pragma once

#include <cstdint>
#include <optional>

#include "python/py.hpp"
#include "spatial/kde_kernels.hpp"
#include "spatial/names.hpp"
#include "spatial/parallel.hpp"

namespace tessaron::py {

enum class TreeKind : std::uint8_t { Kd, Ball, Vp };
enum class BandwidthRule : std::uint8_t { Given, Scott, Silverman };

struct KdeParams {
    double bandwidth = 1.0;
    BandwidthRule rule = BandwidthRule::Given;
    ::tessaron::spatial::KdeKernel kernel{};
    ::tessaron::spatial::MetricChoice metric{};
    bool metric_object = false;  // named by a Metric rather than a string
    TreeKind tree = TreeKind::Kd;
    std::uint64_t leaf_size = 40;
    double atol = 0.0, rtol = 0.0;
    ::tessaron::spatial::Workers workers;

    // Every parameter, in the signature's order (fit).
    bool read_all(PyObject* self);
    // What scoring reads: kernel, atol, rtol and workers.
    bool read_scoring(PyObject* self);
    // The bandwidth for n samples of d features: as given, or by the rule
    // (Scott: n^(-1/(d+4)); Silverman: (n (d+2) / 4)^(-1/(d+4))).
    double fitted_bandwidth(std::uint64_t n, std::uint64_t d) const;
};

}  // namespace tessaron::py
