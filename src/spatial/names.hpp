// The names callers give metrics, kernels and approximation criteria, and
// the messages that list the valid ones. Parsing takes the name already
// lowercased (the binding layer does the Unicode lowercasing) and, for the
// messages, the name as the caller gave it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A metric as an object names it (name, p, period): the metric it measures
// with. The Minkowski family's p = 1, 2 and inf are the Manhattan,
// Euclidean and Chebyshev metrics (p taken as 2 when not given, as
// scikit-learn does); other names take no p. A name may also be
// "minkowski" or "haversine" here. A period (the Minkowski family's only;
// 0 or inf: no wrap in that dimension) makes the metric periodic when some
// dimension wraps.
struct MetricChoice {
    DistanceMetric id;
    MetricParams params;
    bool operator==(const MetricChoice&) const = default;
};
// A period as given: one number for every dimension, or one per dimension.
struct Period {
    std::vector<double> values;
    bool for_all = false;
};
MetricChoice choose_metric(std::string_view lowered, std::string_view given, std::optional<double> p,
                           const std::optional<Period>& period = std::nullopt);
// The name of the metric's family: a periodic metric's is that of its p.
std::string_view family_name(const MetricChoice& m);
// A number as Python's repr of a float writes it.
std::string number_text(double x);
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
