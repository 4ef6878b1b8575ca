// The names callers give metrics, kernels and approximation criteria, and
// the messages that list the valid ones. Parsing takes the name already
// lowercased (the binding layer does the Unicode lowercasing) and, for the
// messages, the name as the caller gave it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "spatial/kernels.hpp"
#include "spatial/metrics.hpp"

namespace tessaron::spatial {

// The metric named `lowered`, and a metric's name as the parser takes it.
DistanceMetric parse_metric(std::string_view lowered, std::string_view given);
inline std::string_view metric_name(DistanceMetric m) {
    return with_metric(m, []<class M>() { return M::name; });
}

KernelType parse_kernel(std::string_view lowered, std::string_view given);
ApproxCriterion parse_criterion(std::string_view lowered, std::string_view given,
                                std::optional<std::uint64_t> min_samples,
                                std::optional<double> max_span);

// A metric as an object names it (name, p): the metric it measures with.
// The Minkowski family's p = 1, 2 and inf are the Manhattan, Euclidean and
// Chebyshev metrics (p taken as 2 when not given, as scikit-learn does);
// other names take no p. A name may also be "minkowski" or "haversine" here.
struct MetricChoice {
    DistanceMetric id;
    MetricParams params;
    bool operator==(const MetricChoice&) const = default;
};
MetricChoice choose_metric(std::string_view lowered, std::string_view given, std::optional<double> p);
// The p of a metric of the Minkowski family, or nothing.
std::optional<double> minkowski_p(const MetricChoice& m);
// The metric's name, with its parameters where it has any: "minkowski
// (p=3)".
std::string metric_label(DistanceMetric id, const MetricParams& params);
// Whether a tree's stored metric and parameters are ones choose_metric gives.
bool valid_choice(const MetricChoice& m);

// How a VP-tree picks its vantage points: "first" or "random".
enum class VantageSelection : std::uint8_t { First, Random };
VantageSelection parse_selection(std::string_view lowered, std::string_view given);

}  // namespace tessaron::spatial
