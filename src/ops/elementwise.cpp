#include "ops/elementwise.hpp"

#include <cmath>

namespace tessaron {

NdArray apply_unary(const NdArray& a, UnaryFn fn) {
    // Each case is its own loop, so the function is called (or inlined)
    // directly rather than through a pointer per element.
    switch (fn) {
        case UnaryFn::Sin: return a.map([](double x) { return std::sin(x); });
        case UnaryFn::Cos: return a.map([](double x) { return std::cos(x); });
        case UnaryFn::Tan: return a.map([](double x) { return std::tan(x); });
        case UnaryFn::Arcsin: return a.map([](double x) { return std::asin(x); });
        case UnaryFn::Arccos: return a.map([](double x) { return std::acos(x); });
        case UnaryFn::Arctan: return a.map([](double x) { return std::atan(x); });
        case UnaryFn::Exp: return a.map([](double x) { return std::exp(x); });
        case UnaryFn::Log: return a.map([](double x) { return std::log(x); });
        case UnaryFn::Sqrt: return a.map([](double x) { return std::sqrt(x); });
        case UnaryFn::Abs: return a.map([](double x) { return std::fabs(x); });
        case UnaryFn::Sign:
            return a.map([](double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); });
        case UnaryFn::Negate: break;
    }
    return a.map([](double x) { return -x; });
}

NdArray clip(const NdArray& a, double min, double max) {
    return a.map([min, max](double x) { return x < min ? min : (x > max ? max : x); });
}

}  // namespace tessaron
