#include "spatial/names.hpp"

#include <charconv>
#include <cmath>
#include <string>
#include <tuple>
#include <type_traits>

#include "array/error.hpp"

namespace tessaron::spatial {

DistanceMetric parse_metric(std::string_view lowered, std::string_view given) {
    return [&]<class... M>(std::type_identity<std::tuple<M...>>) {
        DistanceMetric out{};
        if ((((M::kByName && lowered == M::name) ? (out = M::id, true) : false) || ...)) return out;
        // Appended piecewise: GCC 12 warns falsely about operator+ chains here.
        std::string message = "Unknown distance metric '";
        message += given;
        message += "'. Valid options: ";
        bool first = true;
        ((M::kByName ? (message += first ? "'" : ", '", message += M::name, message += "'", first = false)
                     : false),
         ...);
        fail(message);
    }(std::type_identity<Metrics>{});
}

std::string number_text(double x) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    std::string out(text, end);
    if (out.find_first_of(".eni") == std::string::npos) out += ".0";  // as Python writes a float
    return out;
}

MetricChoice choose_metric(std::string_view lowered, std::string_view given, std::optional<double> p,
                           const std::optional<Period>& period) {
    if (lowered == "haversine") {
        if (p) fail("p is taken by the 'minkowski' metric only, not by '" + std::string(given) + "'");
        if (period) fail("period is taken by the Minkowski family only, not by '" + std::string(given) + "'");
        return {DistanceMetric::Haversine, {}};
    }
    double power = 2.0;
    if (lowered != "minkowski") {
        if (lowered == "euclidean")
            power = 2.0;
        else if (lowered == "manhattan")
            power = 1.0;
        else if (lowered == "chebyshev")
            power = HUGE_VAL;
        else
            fail("Unknown distance metric '" + std::string(given) +
                 "'. Valid options: 'euclidean', 'manhattan', 'chebyshev', 'minkowski', 'haversine'");
        if (p) fail("p is taken by the 'minkowski' metric only, not by '" + std::string(given) + "'");
    } else {
        power = p.value_or(2.0);
        if (!(power >= 1.0)) fail("p must be a number of at least 1 (got " + number_text(power) + ")");
    }
    bool wraps = false;
    MetricParams params;
    if (period) {
        if (period->values.empty()) fail("period must hold one number or one per dimension, not none");
        for (double L : period->values) {
            if (!(L >= 0.0)) fail("period must hold positive numbers, inf or 0 (got " + number_text(L) + ")");
            params.period.push_back(L == 0.0 ? HUGE_VAL : L);  // 0: no wrap, as inf
            wraps = wraps || (L != 0.0 && L < HUGE_VAL);
        }
        params.period_for_all = period->for_all;
    }
    if (wraps) {
        params.p = power;
        return {DistanceMetric::Periodic, std::move(params)};
    }
    if (power == 1.0) return {DistanceMetric::Manhattan, {}};
    if (power == 2.0) return {DistanceMetric::Euclidean, {}};
    if (power == HUGE_VAL) return {DistanceMetric::Chebyshev, {}};
    return {DistanceMetric::Minkowski, {power, {}, false}};
}

std::optional<double> minkowski_p(const MetricChoice& m) {
    switch (m.id) {
        case DistanceMetric::Euclidean: return 2.0;
        case DistanceMetric::Manhattan: return 1.0;
        case DistanceMetric::Chebyshev: return HUGE_VAL;
        case DistanceMetric::Minkowski:
        case DistanceMetric::Periodic: return m.params.p;
        case DistanceMetric::Haversine: break;
    }
    return std::nullopt;
}

std::string_view family_name(const MetricChoice& m) {
    if (m.id != DistanceMetric::Periodic) return metric_name(m.id);
    const double p = m.params.p;
    return p == 2.0 ? "euclidean" : p == 1.0 ? "manhattan" : p == HUGE_VAL ? "chebyshev" : "minkowski";
}

std::string metric_label(DistanceMetric id, const MetricParams& params) {
    const MetricChoice m{id, params};
    std::string label(family_name(m));
    if (label == "minkowski") label += " (p=" + number_text(params.p) + ")";
    if (id == DistanceMetric::Periodic) label += " on a periodic box";
    return label;
}

bool valid_choice(const MetricChoice& m) {
    const MetricParams& params = m.params;
    if (m.id == DistanceMetric::Minkowski) {
        const double p = params.p;
        return p > 1.0 && p < HUGE_VAL && p != 2.0 && params.period.empty() && !params.period_for_all;
    }
    if (m.id != DistanceMetric::Periodic) return params == MetricParams{};
    if (!(params.p >= 1.0) || params.period.empty() || (params.period_for_all && params.period.size() != 1))
        return false;
    bool wraps = false;
    for (double L : params.period) {
        if (!(L > 0.0)) return false;
        wraps = wraps || L < HUGE_VAL;
    }
    return wraps;
}

KernelType parse_kernel(std::string_view lowered, std::string_view given) {
    if (lowered == "gaussian") return KernelType::Gaussian;
    if (lowered == "epanechnikov") return KernelType::Epanechnikov;
    if (lowered == "uniform") return KernelType::Uniform;
    if (lowered == "triangular") return KernelType::Triangular;
    fail("Unknown kernel type '" + std::string(given) +
         "'. Valid options: 'gaussian', 'epanechnikov', 'uniform', 'triangular'");
}

ApproxCriterion parse_criterion(std::string_view lowered, std::string_view given,
                                std::optional<std::uint64_t> min_samples,
                                std::optional<double> max_span) {
    using Kind = ApproxCriterion::Kind;
    auto require = [](bool present, const char* param, const char* criterion) {
        if (!present)
            fail(std::string(param) + " parameter required for '" + criterion + "' criterion");
    };
    if (lowered == "none") return {};
    if (lowered == "min_samples") {
        require(min_samples.has_value(), "min_samples", "min_samples");
        return {Kind::MinSamples, *min_samples, 0.0};
    }
    if (lowered == "max_span") {
        require(max_span.has_value(), "max_span", "max_span");
        return {Kind::MaxSpan, 0, *max_span};
    }
    if (lowered == "combined") {
        require(min_samples.has_value(), "min_samples", "combined");
        require(max_span.has_value(), "max_span", "combined");
        return {Kind::Combined, *min_samples, *max_span};
    }
    fail("Unknown approximation criterion '" + std::string(given) +
         "'. Valid options: 'none', 'min_samples', 'max_span', 'combined'");
}

VantageSelection parse_selection(std::string_view lowered, std::string_view given) {
    if (lowered == "first") return VantageSelection::First;
    if (lowered == "random") return VantageSelection::Random;
    fail("Unknown vantage point selection method '" + std::string(given) +
         "'. Valid options: 'first', 'random'");
}

}  // namespace tessaron::spatial
