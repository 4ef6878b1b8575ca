#include "python/spatial/kde_params.hpp"

#include <cmath>
#include <string>
#include <string_view>

#include "python/args.hpp"
#include "python/errors.hpp"
#include "python/spatial/batch_methods.hpp"
#include "python/spatial/metric_class.hpp"

namespace tessaron::py {
namespace {

namespace sp = ::tessaron::spatial;

struct KernelName {
    std::string_view name;
    sp::KdeKernel kernel;
};
constexpr KernelName kKernels[] = {
    {"gaussian", sp::KdeKernel::Gaussian},       {"tophat", sp::KdeKernel::Tophat},
    {"epanechnikov", sp::KdeKernel::Epanechnikov}, {"exponential", sp::KdeKernel::Exponential},
    {"linear", sp::KdeKernel::Linear},           {"cosine", sp::KdeKernel::Cosine},
};
constexpr std::string_view kKernelList = "'gaussian', 'tophat', 'epanechnikov', 'exponential', 'linear', 'cosine'";

struct TreeName {
    std::string_view name;
    TreeKind kind;
};
constexpr TreeName kTrees[] = {{"kd", TreeKind::Kd}, {"ball", TreeKind::Ball}, {"vp", TreeKind::Vp}};

// ValueError "{param} must be {what}, not {repr(value)}".
bool refuse(const char* param, std::string_view what, PyObject* value) {
    Ref shown = Ref::steal(PyObject_Repr(value));
    const char* text = shown ? PyUnicode_AsUTF8(shown.get()) : nullptr;
    if (!text) return false;
    raise_value_error(std::string(param) + " must be " + std::string(what) + ", not " + text);
    return false;
}

Ref attribute(PyObject* self, const char* name) { return Ref::steal(PyObject_GetAttrString(self, name)); }

// A real number (not a string, not a bool), or nothing.
std::optional<double> real_of(PyObject* obj) {
    if (PyUnicode_Check(obj) || PyBool_Check(obj) || !PyNumber_Check(obj)) return std::nullopt;
    const double x = PyFloat_AsDouble(obj);
    if (x == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return x;
}

// A string's lowercase form, or nothing for other objects.
std::optional<std::string> lowered_of(PyObject* obj) {
    if (!PyUnicode_Check(obj)) return std::nullopt;
    Name n;
    if (!extract(obj, n)) {
        PyErr_Clear();
        return std::nullopt;
    }
    return n.lowered;
}

bool read_bandwidth(PyObject* self, KdeParams& p) {
    Ref v = attribute(self, "bandwidth");
    if (!v) return false;
    if (const auto name = lowered_of(v.get())) {
        if (*name == "scott") return p.rule = BandwidthRule::Scott, true;
        if (*name == "silverman") return p.rule = BandwidthRule::Silverman, true;
    } else if (const auto x = real_of(v.get()); x && *x > 0.0 && *x < HUGE_VAL) {
        p.bandwidth = *x;
        p.rule = BandwidthRule::Given;
        return true;
    }
    return refuse("bandwidth", "a positive number, 'scott' or 'silverman'", v.get());
}

bool read_kernel(PyObject* self, KdeParams& p) {
    Ref v = attribute(self, "kernel");
    if (!v) return false;
    if (const auto name = lowered_of(v.get()))
        for (const KernelName& k : kKernels)
            if (*name == k.name) return p.kernel = k.kernel, true;
    return refuse("kernel", "one of " + std::string(kKernelList), v.get());
}

bool read_metric(PyObject* self, KdeParams& p) {
    Ref v = attribute(self, "metric");
    if (!v) return false;
    if (is_metric_object(v.get())) {
        p.metric = metric_choice_of(v.get());
        p.metric_object = true;
        return true;
    }
    if (!PyUnicode_Check(v.get())) return refuse("metric", "a metric's name or a Metric", v.get());
    Name name;
    if (!extract(v.get(), name)) return false;
    p.metric = {sp::parse_metric(name.lowered, name.given), {}};
    p.metric_object = false;
    return true;
}

bool read_tree(PyObject* self, KdeParams& p) {
    Ref v = attribute(self, "tree");
    if (!v) return false;
    if (const auto name = lowered_of(v.get()))
        for (const TreeName& t : kTrees)
            if (*name == t.name) return p.tree = t.kind, true;
    return refuse("tree", "one of 'kd', 'ball', 'vp'", v.get());
}

bool read_leaf_size(PyObject* self, KdeParams& p) {
    Ref v = attribute(self, "leaf_size");
    if (!v) return false;
    if (PyLong_Check(v.get()) && !PyBool_Check(v.get())) {
        const long long n = PyLong_AsLongLong(v.get());
        if (n >= 1) return p.leaf_size = static_cast<std::uint64_t>(n), true;
        PyErr_Clear();
    }
    return refuse("leaf_size", "a positive integer", v.get());
}

bool read_tolerance(PyObject* self, const char* name, double& out) {
    Ref v = attribute(self, name);
    if (!v) return false;
    if (const auto x = real_of(v.get()); x && *x >= 0.0) return out = *x, true;
    return refuse(name, "a non-negative number", v.get());
}

bool read_workers(PyObject* self, KdeParams& p) {
    Ref v = attribute(self, "workers");
    if (!v) return false;
    if (PyLong_Check(v.get()) && !PyBool_Check(v.get())) {
        int overflow = 0;
        const long long n = PyLong_AsLongLongAndOverflow(v.get(), &overflow);
        if (!overflow && !(n == -1 && PyErr_Occurred()) && (n == -1 || n >= 1))
            return worker_threads(n, p.workers);
        PyErr_Clear();
    }
    return refuse("workers", "a positive integer or -1", v.get());
}

}  // namespace

bool KdeParams::read_all(PyObject* self) {
    return read_bandwidth(self, *this) && read_kernel(self, *this) && read_metric(self, *this) &&
           read_tree(self, *this) && read_leaf_size(self, *this) && read_tolerance(self, "atol", atol) &&
           read_tolerance(self, "rtol", rtol) && read_workers(self, *this);
}

bool KdeParams::read_scoring(PyObject* self) {
    return read_kernel(self, *this) && read_tolerance(self, "atol", atol) && read_tolerance(self, "rtol", rtol) &&
           read_workers(self, *this);
}

double KdeParams::fitted_bandwidth(std::uint64_t n, std::uint64_t d) const {
    const double power = -1.0 / static_cast<double>(d + 4);
    switch (rule) {
        case BandwidthRule::Scott: return std::pow(static_cast<double>(n), power);
        case BandwidthRule::Silverman: return std::pow(static_cast<double>(n * (d + 2)) / 4.0, power);
        case BandwidthRule::Given: break;
    }
    return bandwidth;
}

}  // namespace tessaron::py
