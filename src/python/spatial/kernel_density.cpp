// KernelDensity: a normalised kernel density estimator with the conventions
// of scikit-learn's estimators (parameters kept as given and checked by fit,
// get_params/set_params, fitted attributes ending in "_", clone, pickling),
// on our trees.
#include "python/spatial/kernel_density.hpp"

#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "python/array/array_args.hpp"
#include "python/array/array_object.hpp"
#include "python/binding.hpp"
#include "python/buffer_reals.hpp"
#include "python/gil.hpp"
#include "python/module_util.hpp"
#include "python/pickling.hpp"
#include "python/spatial/batch_methods.hpp"
#include "python/spatial/kde_params.hpp"
#include "python/spatial/metric_class.hpp"
#include "python/spatial/query_matrix.hpp"
#include "python/spatial/tree_class.hpp"
#include "random/generator.hpp"
#include "spatial/kde.hpp"
#include "spatial/kde_sample.hpp"

namespace tessaron::py {

template <>
PyTypeObject* type_of<Generator>();

namespace {

namespace sp = ::tessaron::spatial;

// What fit leaves, never changed afterwards: calls in flight share it, so a
// new fit meanwhile does not pull it from under them.
struct Fitted {
    Ref tree;  // a KDTree, BallTree or VPTree object of the points of positive weight
    double bandwidth = 1.0;
    std::uint64_t features = 0;
    std::vector<double> weights;  // by the tree's input rows; empty without sample_weight
    sp::DensityWeights density;
};
using FittedPtr = std::shared_ptr<const Fitted>;

struct KdeObject {
    PyObject_HEAD
    PyObject* dict;  // the parameters (as given) and whatever else callers set
    PyObject* weakrefs;
    alignas(FittedPtr) unsigned char fitted_storage[sizeof(FittedPtr)];
};

FittedPtr& fitted_of(PyObject* self) {
    return *std::launder(reinterpret_cast<FittedPtr*>(reinterpret_cast<KdeObject*>(self)->fitted_storage));
}

PyTypeObject* kde_type();

// ---- parameters --------------------------------------------------------

// The constructor's parameters, parsed by the class's vectorcall. The class
// has no __init__ method (CPython 3.14's inspect.signature would apply its
// descriptor to the class), yet the name stays "__init__": argument errors
// then read "KernelDensity.__init__() ...", as a Python class's do.
using Init = Signature<R"(__init__($self, *, bandwidth=1.0, kernel="gaussian", metric="euclidean", tree="kd", leaf_size=40, atol=0.0, rtol=0.0, workers=1))",
                       "KernelDensity">;

// The parameters in the signature's order, with their defaults.
constexpr const char* kParams[] = {"bandwidth", "kernel", "metric", "tree", "leaf_size", "atol", "rtol", "workers"};
constexpr std::size_t kParamCount = std::size(kParams);
// The order of get_params and repr: by name, as scikit-learn lists them.
constexpr std::size_t kByName[] = {5, 0, 1, 4, 2, 6, 3, 7};

PyObject* default_of(std::size_t param) {
    switch (param) {
        case 0: return PyFloat_FromDouble(1.0);
        case 1: return PyUnicode_FromString("gaussian");
        case 2: return PyUnicode_FromString("euclidean");
        case 3: return PyUnicode_FromString("kd");
        case 4: return PyLong_FromLong(40);
        case 5:
        case 6: return PyFloat_FromDouble(0.0);
        default: return PyLong_FromLong(1);
    }
}

// Sets each parameter to its argument, or to its default where omitted.
bool set_parameters(PyObject* self, const Args<Init>& in) {
    for (std::size_t i = 0; i < kParamCount; ++i) {
        Ref value = in.slots[i] ? Ref::borrow(in.slots[i]) : Ref::steal(default_of(i));
        if (!value || PyObject_SetAttrString(self, kParams[i], value.get()) < 0) return false;
    }
    return true;
}

PyObject* construct(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        auto in = parse<Init>(args, PyVectorcall_NARGS(nargsf), kwnames);
        if (!in) return nullptr;
        auto* cls = reinterpret_cast<PyTypeObject*>(type);
        Ref self = Ref::steal(cls->tp_alloc(cls, 0));
        if (!self) return nullptr;
        new (reinterpret_cast<KdeObject*>(self.get())->fitted_storage) FittedPtr();
        return set_parameters(self.get(), *in) ? self.release() : nullptr;
    });
}

Ref parameter(PyObject* self, std::size_t i) { return Ref::steal(PyObject_GetAttrString(self, kParams[i])); }

using GetParams = Signature<"get_params($self, deep=True)", "KernelDensity">;
PyObject* get_params(PyObject* self, Args<GetParams>& in) {
    bool deep = true;  // no parameter is an estimator: deep changes nothing
    if (!arg<0>(in, deep)) return nullptr;
    Ref out = Ref::steal(PyDict_New());
    if (!out) return nullptr;
    for (std::size_t i : kByName) {
        Ref value = parameter(self, i);
        if (!value || PyDict_SetItemString(out.get(), kParams[i], value.get()) < 0) return nullptr;
    }
    return out.release();
}

// set_params(**params): only the parameters' names; returns self.
PyObject* set_params(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        if (nargs != 0) {
            PyErr_SetString(PyExc_TypeError, "KernelDensity.set_params() takes keyword arguments only");
            return nullptr;
        }
        const Py_ssize_t count = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t k = 0; k < count; ++k) {  // all names first: a bad one changes nothing
            PyObject* name = PyTuple_GET_ITEM(kwnames, k);
            bool known = false;
            for (const char* p : kParams) known = known || PyUnicode_CompareWithASCIIString(name, p) == 0;
            if (!known) {
                PyErr_Format(PyExc_ValueError,
                             "Invalid parameter %R for estimator KernelDensity(). Valid parameters are: ['atol', "
                             "'bandwidth', 'kernel', 'leaf_size', 'metric', 'rtol', 'tree', 'workers'].",
                             name);
                return nullptr;
            }
        }
        for (Py_ssize_t k = 0; k < count; ++k)
            if (PyObject_SetAttr(self, PyTuple_GET_ITEM(kwnames, k), args[k]) < 0) return nullptr;
        return Py_NewRef(self);
    });
}

// "KernelDensity(bandwidth=0.5, kernel='tophat')": the parameters whose repr
// differs from their default's.
PyObject* repr(PyObject* self) {
    Ref text = Ref::steal(PyUnicode_FromString(""));
    for (std::size_t i : kByName) {
        Ref value = parameter(self, i), fallback = Ref::steal(default_of(i));
        if (!value || !fallback || !text) return nullptr;
        Ref shown = Ref::steal(PyObject_Repr(value.get())), usual = Ref::steal(PyObject_Repr(fallback.get()));
        if (!shown || !usual) return nullptr;
        const int same = PyUnicode_Compare(shown.get(), usual.get());
        if (same == -1 && PyErr_Occurred()) return nullptr;
        if (same == 0) continue;
        const bool first = PyUnicode_GetLength(text.get()) == 0;
        text = Ref::steal(PyUnicode_FromFormat("%U%s%s=%U", text.get(), first ? "" : ", ", kParams[i], shown.get()));
    }
    return text ? PyUnicode_FromFormat("KernelDensity(%U)", text.get()) : nullptr;
}

// ---- data --------------------------------------------------------------

// Whether obj is one of SciPy's sparse matrices or arrays (by the module of
// its class), which would otherwise be read as a sequence of rows.
bool is_sparse_matrix(PyObject* obj) {
    Ref module = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__module__"));
    const char* name = module && PyUnicode_Check(module.get()) ? PyUnicode_AsUTF8(module.get()) : nullptr;
    PyErr_Clear();
    return name && std::string_view(name).starts_with("scipy.sparse");
}

// obj as an object our readers take: itself, or what its __array__ gives
// (a DataFrame's, say) when it is neither an Array, a buffer nor a
// sequence; an array of Python objects as NumPy's astype(float64) converts
// it. Sparse matrices are refused.
bool as_numbers(PyObject* obj, Ref& out) {
    out = Ref::borrow(obj);
    if (is_array(obj)) return true;
    if (!PyObject_CheckBuffer(obj)) {
        if (is_sparse_matrix(obj)) {
            PyErr_SetString(PyExc_TypeError, "sparse input is not supported; pass X.toarray()");
            return false;
        }
        if (!PyObject_HasAttrString(obj, "__array__")) return true;
        out = Ref::steal(PyObject_CallMethod(obj, "__array__", nullptr));
        if (!out) return false;
    }
    HeldBuffer view;
    if (!view.acquire(out.get())) {
        PyErr_Clear();
        return true;
    }
    const std::string_view format = view->format ? view->format : "B";
    if (format.find('Z') != std::string_view::npos) {
        raise_value_error("Complex data not supported");
        return false;
    }
    if (format.find('O') != std::string_view::npos && PyObject_HasAttrString(out.get(), "astype")) {
        Ref floats = Ref::steal(PyObject_CallMethod(out.get(), "astype", "s", "float64"));
        if (!floats) return false;
        out = std::move(floats);
    }
    return true;
}

// The samples X: rows of numbers in every form the batch queries take, or
// an object that converts itself (__array__, as a DataFrame does), none
// of them NaN or infinite, at least one row of at least one column.
bool read_samples(PyObject* obj, QueryMatrix& out) {
    Ref numbers;
    if (!as_numbers(obj, numbers) || !query_matrix(numbers.get(), kAnyWidth, out, "X")) return false;
    if (out.rows == 0 || out.width == 0) {
        const bool no_rows = out.rows == 0;
        raise_value_error("Found array with 0 " + std::string(no_rows ? "sample(s)" : "feature(s)") + " (shape=(" +
                          std::to_string(out.rows) + ", " + std::to_string(out.width) +
                          ")) while a minimum of 1 is required by KernelDensity.");
        return false;
    }
    const double* x = out.values.data();
    const std::size_t size = out.rows * out.width;
    if (!sp::all_finite(x, size)) {
        raise_value_error(sp::any_nan(x, size) ? "Input X contains NaN."
                                               : "Input X contains infinity or a value too large for dtype('float64').");
        return false;
    }
    return true;
}

// sample_weight: n non-negative finite numbers, not all 0.
bool read_weights(PyObject* obj, std::uint64_t n, std::vector<double>& out) {
    VecOrArray v;
    Ref numbers;
    if (!as_numbers(obj, numbers)) return false;
    if (!extract(numbers.get(), v)) {
        prefix_argument_error("sample_weight");
        return false;
    }
    const NdArray& a = v.as_array();
    if (a.ndim() != 1 || a.size() != n) {
        raise_value_error("sample_weight must hold one weight per sample: " + std::to_string(n) +
                          " samples, weights of shape " + format_dims(a.shape.dims));
        return false;
    }
    double total = 0.0;
    for (double w : a.data) {
        if (!(w >= 0.0 && w < HUGE_VAL)) {
            raise_value_error("sample_weight must hold non-negative finite numbers");
            return false;
        }
        total += w;
    }
    if (!(total > 0.0) || total == HUGE_VAL) {
        raise_value_error("sample_weight: the weights are all zero or their sum is not finite");
        return false;
    }
    out.assign(a.data.data(), a.data.data() + a.size());
    return true;
}

// ---- fit ---------------------------------------------------------------

// The tree of the points of positive weight (all when unweighted), built
// without the GIL; weights are reduced to those points.
template <class Tree>
PyObject* build_tree(const QueryMatrix& x, std::vector<double>& weights, const sp::MetricChoice& metric,
                     bool named_by_object, std::uint64_t leaf_size) {
    constexpr bool box_tree = std::is_same_v<Tree, sp::KDTree>;
    sp::check_metric_fits(metric.id, metric.params, x.width, box_tree);
    std::optional<Tree> built = without_gil([&](sp::Watch& watch) {
        std::vector<double> coords;
        std::uint64_t kept = x.rows;
        if (weights.empty()) {
            coords.assign(x.values.data(), x.values.data() + x.rows * x.width);
        } else {
            kept = 0;
            for (std::uint64_t i = 0; i < x.rows; ++i) {
                if (weights[i] == 0.0) continue;
                coords.insert(coords.end(), x.values.data() + i * x.width, x.values.data() + (i + 1) * x.width);
                weights[kept++] = weights[i];
            }
            weights.resize(kept);
        }
        sp::PointSet p = sp::PointSet::from_coords(std::move(coords), kept, x.width, metric.id, &watch);
        p.params = metric.params;
        p.metric_as_object = named_by_object;
        if constexpr (std::is_same_v<Tree, sp::VPTree>)
            return std::optional<Tree>(Tree::from_points(std::move(p), leaf_size, sp::VantageSelection::First, &watch));
        else
            return std::optional<Tree>(Tree::from_points(std::move(p), leaf_size, &watch));
    });
    return make_instance_of<Tree>(tree_type<Tree>(), std::move(*built));
}

// The density's weights for the fitted tree object.
template <class Tree>
sp::DensityWeights weights_for(PyObject* tree, const std::vector<double>& weights) {
    return sp::DensityWeights::of(value_of<Tree>(tree), weights.empty() ? nullptr : weights.data());
}

// f.template operator()<Tree>() for the core tree of a kind.
template <class F>
decltype(auto) with_tree_kind(TreeKind kind, F&& f) {
    switch (kind) {
        case TreeKind::Ball: return f.template operator()<sp::BallTree>();
        case TreeKind::Vp: return f.template operator()<sp::VPTree>();
        case TreeKind::Kd: break;
    }
    return f.template operator()<sp::KDTree>();
}

// The same for the class of a tree object (which obj is).
template <class F>
decltype(auto) with_tree_of(PyObject* obj, F&& f) {
    const TreeKind kind = Py_TYPE(obj) == tree_type<sp::BallTree>() ? TreeKind::Ball
                          : Py_TYPE(obj) == tree_type<sp::VPTree>() ? TreeKind::Vp
                                                                    : TreeKind::Kd;
    return with_tree_kind(kind, static_cast<F&&>(f));
}

using Fit = Signature<"fit($self, X, y=None, sample_weight=None)", "KernelDensity">;
PyObject* fit(PyObject* self, Args<Fit>& in) {
    KdeParams params;
    QueryMatrix x;
    auto f = std::make_shared<Fitted>();
    if (!params.read_all(self) || !read_samples(in.slots[0], x)) return nullptr;
    if (in.slots[2] && in.slots[2] != Py_None && !read_weights(in.slots[2], x.rows, f->weights)) return nullptr;
    f->bandwidth = params.fitted_bandwidth(x.rows, x.width);
    f->features = x.width;
    PyObject* tree = with_tree_kind(params.tree, [&]<class Tree>() {
        return build_tree<Tree>(x, f->weights, params.metric, params.metric_object, params.leaf_size);
    });
    if (!tree) return nullptr;
    f->tree = Ref::steal(tree);
    f->density = with_tree_of(tree, [&]<class Tree>() { return weights_for<Tree>(tree, f->weights); });
    fitted_of(self) = std::move(f);
    return Py_NewRef(self);
}

// ---- scoring -----------------------------------------------------------

// A NumPy array viewing the Array (which it keeps) where NumPy is
// installed, as scikit-learn's callers expect; the Array otherwise.
PyObject* numpy_if_installed(PyObject* array) {
    Ref a = Ref::steal(array);
    if (!a) return nullptr;
    Ref numpy = Ref::steal(PyImport_ImportModule("numpy"));
    if (!numpy) {
        if (!PyErr_ExceptionMatches(PyExc_ImportError)) return nullptr;
        PyErr_Clear();
        return a.release();
    }
    return PyObject_CallMethod(numpy.get(), "asarray", "O", a.get());
}

const Fitted* fitted_or_raise(const FittedPtr& f) {
    if (!f)
        raise_value_error(
            "This KernelDensity instance is not fitted yet. Call 'fit' with appropriate arguments before using this "
            "estimator.");
    return f.get();
}

// The log-density at each row of X, as a new one-dimensional Array.
PyObject* log_densities(PyObject* self, PyObject* samples) {
    const FittedPtr held = fitted_of(self);  // kept for the call, whatever fit does meanwhile
    const Fitted* f = fitted_or_raise(held);
    KdeParams params;
    QueryMatrix x;
    if (!f || !params.read_scoring(self) || !read_samples(samples, x)) return nullptr;
    if (x.width != f->features) {
        raise_value_error("X has " + std::to_string(x.width) + " features, but KernelDensity is expecting " +
                          std::to_string(f->features) + " features as input.");
        return nullptr;
    }
    const double total = f->density.total, log_norm = sp::kde_log_norm(params.kernel, f->features, f->bandwidth);
    sp::KdeOptions o{.h = f->bandwidth, .kernel = params.kernel, .atol = 0.0, .rtol = params.rtol};
    // The absolute tolerance on the density, as one on the sum of weighted terms.
    if (params.atol > 0.0) o.atol = std::exp(std::log(params.atol) + std::log(total) - log_norm);
    const double shift = log_norm - std::log(total);
    NdArray out = NdArray::uninit(d1(x.rows));
    const bool done = with_tree_of(f->tree.get(), [&]<class Tree>() {
        ReadLoan loan;
        if (!loan.acquire(reinterpret_cast<Instance<Tree>*>(f->tree.get())->loan)) return false;
        const Tree& t = value_of<Tree>(f->tree.get());
        without_gil([&](sp::Watch& watch) {
            params.workers.watch = &watch;
            sp::kde_batch(t, x.values.data(), x.rows, o, f->density, shift, out.data.data(), params.workers);
        });
        return true;
    });
    return done ? numpy_if_installed(wrap_array(std::move(out))) : nullptr;
}

using ScoreSamples = Signature<"score_samples($self, X)", "KernelDensity">;
PyObject* score_samples(PyObject* self, Args<ScoreSamples>& in) { return log_densities(self, in.slots[0]); }

using Score = Signature<"score($self, X, y=None)", "KernelDensity">;
PyObject* score(PyObject* self, Args<Score>& in) {
    Ref each = Ref::steal(log_densities(self, in.slots[0]));
    if (!each) return nullptr;
    HeldBuffer view;  // a NumPy array or an Array: float64 either way
    if (!view.acquire(each.get(), PyBUF_C_CONTIGUOUS)) return nullptr;
    const double* v = static_cast<const double*>(view->buf);
    double sum = 0.0;
    for (Py_ssize_t i = 0; i < view->len / static_cast<Py_ssize_t>(sizeof(double)); ++i) sum += v[i];
    return PyFloat_FromDouble(sum);
}

// ---- sampling ----------------------------------------------------------

// random_state: None (seeded from the clock), a seed, or one of our
// Generators (whose draws the call takes, holding it for writing).
struct RandomState {
    std::optional<Generator> own;
    Generator* g = nullptr;
    WriteLoan loan;
    bool read(PyObject* obj) {
        if (!obj || obj == Py_None) {
            g = &own.emplace(Generator::from_clock());
        } else if (PyLong_Check(obj) && !PyBool_Check(obj)) {
            std::uint64_t seed = 0;
            if (!arg(obj, "random_state", seed)) return false;
            g = &own.emplace(Generator::from_seed(seed));
        } else if (Py_IS_TYPE(obj, type_of<Generator>())) {
            if (!loan.acquire(reinterpret_cast<Instance<Generator>*>(obj)->loan)) return false;
            g = &value_of<Generator>(obj);
        } else {
            PyErr_Format(PyExc_ValueError, "random_state must be None, a seed or a tessaron Generator, not %R", obj);
            return false;
        }
        return true;
    }
};

using Sample = Signature<"sample($self, n_samples=1, random_state=None)", "KernelDensity">;
PyObject* sample(PyObject* self, Args<Sample>& in) {
    const FittedPtr held = fitted_of(self);
    const Fitted* f = fitted_or_raise(held);
    KdeParams params;
    std::uint64_t n = 1, size = 0;
    RandomState random;
    if (!f || !arg<0>(in, n) || !params.read_scoring(self)) return nullptr;
    const sp::PointSet& points = with_tree_of(f->tree.get(), [&]<class Tree>() -> const sp::PointSet& {
        return value_of<Tree>(f->tree.get()).points();
    });
    if (points.metric != sp::DistanceMetric::Euclidean) {
        PyErr_SetString(PyExc_NotImplementedError, "sample draws under the euclidean metric only");
        return nullptr;
    }
    if (!mul_fits(n, points.dim, size) || size > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(double))
        return PyErr_NoMemory();
    if (!random.read(in.slots[1])) return nullptr;
    NdArray out = sp::sample_density(points, f->density.by_slot, f->bandwidth, params.kernel, n, *random.g);
    return numpy_if_installed(wrap_array(std::move(out)));
}

// ---- estimator protocol ------------------------------------------------

using IsFitted = Signature<"__sklearn_is_fitted__($self)", "KernelDensity">;
PyObject* is_fitted(PyObject* self, Args<IsFitted>&) { return PyBool_FromLong(fitted_of(self) != nullptr); }

// scikit-learn's tags (imported from it: only scikit-learn asks for them):
// an estimator with no target that needs fitting, on 2-D input.
using Tags = Signature<"__sklearn_tags__($self)", "KernelDensity">;
PyObject* sklearn_tags(PyObject*, Args<Tags>&) {
    Ref utils = Ref::steal(PyImport_ImportModule("sklearn.utils"));
    if (!utils) return nullptr;
    Ref target_tags = Ref::steal(PyObject_CallMethod(utils.get(), "TargetTags", "O", Py_False));
    Ref tags_class = Ref::steal(PyObject_GetAttrString(utils.get(), "Tags"));
    Ref args = Ref::steal(PyTuple_New(0));
    Ref kwargs = Ref::steal(Py_BuildValue("{s:O,s:O}", "estimator_type", Py_None, "target_tags", target_tags.get()));
    if (!target_tags || !tags_class || !args || !kwargs) return nullptr;
    return PyObject_Call(tags_class.get(), args.get(), kwargs.get());
}

PyObject* get_tree(PyObject* self, void*) {
    const Fitted* f = fitted_of(self).get();
    if (!f) return PyErr_Format(PyExc_AttributeError, "'KernelDensity' object has no attribute 'tree_'");
    return Py_NewRef(f->tree.get());
}
PyObject* get_bandwidth(PyObject* self, void*) {
    const Fitted* f = fitted_of(self).get();
    if (!f) return PyErr_Format(PyExc_AttributeError, "'KernelDensity' object has no attribute 'bandwidth_'");
    return PyFloat_FromDouble(f->bandwidth);
}
PyObject* get_features(PyObject* self, void*) {
    const Fitted* f = fitted_of(self).get();
    if (!f) return PyErr_Format(PyExc_AttributeError, "'KernelDensity' object has no attribute 'n_features_in_'");
    return PyLong_FromUnsignedLongLong(f->features);
}

// ---- pickling ----------------------------------------------------------

// (rebuild, (attributes, fitted)): fitted is None or (tree, bandwidth_,
// n_features_in_, weights by the tree's rows or None).
using Reduce = Signature<"__reduce__($self)", "KernelDensity">;
PyObject* reduce(PyObject* self, Args<Reduce>&) {
    Ref fn = Ref::steal(rebuild_function("_rebuild_kernel_density"));
    PyObject* dict = reinterpret_cast<KdeObject*>(self)->dict;
    Ref attributes = Ref::steal(dict ? PyDict_Copy(dict) : PyDict_New());
    if (!fn || !attributes) return nullptr;
    const Fitted* f = fitted_of(self).get();
    if (!f) return Py_BuildValue("O(OO)", fn.get(), attributes.get(), Py_None);
    Ref weights = Ref::borrow(Py_None);
    if (!f->weights.empty()) {
        weights = Ref::steal(wrap_array(NdArray::make(d1(f->weights.size()), Buffer::copy_of(f->weights.data(), f->weights.size()))));
        if (!weights) return nullptr;
    }
    return Py_BuildValue("O(O(OdKO))", fn.get(), attributes.get(), f->tree.get(), f->bandwidth,
                         static_cast<unsigned long long>(f->features), weights.get());
}

void raise_bad_state(const char* why) { raise_value_error(std::string("Invalid pickled KernelDensity state: ") + why); }

using Rebuild = Signature<"_rebuild_kernel_density(attributes, fitted)">;
PyObject* rebuild(Args<Rebuild>& in) {
    PyObject *attributes = in.slots[0], *fitted = in.slots[1];
    if (!PyDict_Check(attributes)) return raise_bad_state("the attributes are not a dict"), nullptr;
    auto f = std::make_shared<Fitted>();
    if (fitted != Py_None) {
        PyObject *tree = nullptr, *weights = nullptr;
        unsigned long long features = 0;
        if (!PyTuple_Check(fitted) || !PyArg_ParseTuple(fitted, "OdKO", &tree, &f->bandwidth, &features, &weights))
            return PyErr_Clear(), raise_bad_state("the fit is not (tree, bandwidth, features, weights)"), nullptr;
        f->features = features;
        if (!is_tree(tree)) return raise_bad_state("no tree"), nullptr;
        const sp::PointSet& points = with_tree_of(tree, [&]<class Tree>() -> const sp::PointSet& {
            return value_of<Tree>(tree).points();
        });
        const std::uint64_t n = points.n;
        if (points.dim != features || n == 0 || !(f->bandwidth > 0.0 && f->bandwidth < HUGE_VAL))
            return raise_bad_state("the tree does not match the fit"), nullptr;
        if (weights != Py_None && !read_weights(weights, n, f->weights)) return nullptr;
        f->tree = Ref::borrow(tree);
        f->density = with_tree_of(tree, [&]<class Tree>() { return weights_for<Tree>(tree, f->weights); });
    }
    Ref self = Ref::steal(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(kde_type())));
    if (!self) return nullptr;
    PyObject *key = nullptr, *value = nullptr;
    for (Py_ssize_t at = 0; PyDict_Next(attributes, &at, &key, &value);)
        if (PyObject_SetAttr(self.get(), key, value) < 0) return nullptr;
    if (fitted != Py_None) fitted_of(self.get()) = std::move(f);
    return self.release();
}

// ---- the type ----------------------------------------------------------

int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<KdeObject*>(self)->dict);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int clear(PyObject* self) {
    Py_CLEAR(reinterpret_cast<KdeObject*>(self)->dict);
    return 0;
}

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    if (reinterpret_cast<KdeObject*>(self)->weakrefs) PyObject_ClearWeakRefs(self);
    clear(self);
    fitted_of(self).~FittedPtr();
    type->tp_free(self);
    Py_DECREF(type);
}

PyMethodDef methods[] = {
    method_def<Fit, fit>(),
    method_def<ScoreSamples, score_samples>(),
    method_def<Score, score>(),
    method_def<Sample, sample>(),
    method_def<GetParams, get_params>(),
    fast_def("set_params", set_params, 0, "set_params($self, /, **params)\n--\n\n"),
    method_def<IsFitted, is_fitted>(),
    method_def<Tags, sklearn_tags>(),
    method_def<Reduce, reduce>(),
    kEndOfTable,
};

PyGetSetDef getset[] = {
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {"tree_", get_tree, nullptr, "The fitted tree (of the points of positive weight).", nullptr},
    {"bandwidth_", get_bandwidth, nullptr, "The bandwidth of the fit (the rule's value for 'scott' or 'silverman').",
     nullptr},
    {"n_features_in_", get_features, nullptr, "The number of features of the fitted X.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#if PY_VERSION_HEX < 0x030C0000  // the member constants' older names
constexpr int Py_T_PYSSIZET = T_PYSSIZET, Py_READONLY = READONLY;
#endif
PyMemberDef members[] = {
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(KdeObject, dict), Py_READONLY, nullptr},
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(KdeObject, weakrefs), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(R"(KernelDensity(*, bandwidth=1.0, kernel="gaussian", metric="euclidean", tree="kd", leaf_size=40, atol=0.0, rtol=0.0, workers=1))"
                                  "\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(new_through_vectorcall)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_tp_members, members},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {0, nullptr},
};

PyType_Spec spec = {
    .name = "tessaron.spatial.KernelDensity",
    .basicsize = sizeof(KdeObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC,
    .slots = slots,
};

PyTypeObject* kde_type() {
    static PyTypeObject* type = nullptr;
    return create_once(type, spec, construct);
}

}  // namespace

bool add_kernel_density_type(PyObject* module) {
    PyTypeObject* type = kde_type();
    return type && PyModule_AddObjectRef(module, "KernelDensity", reinterpret_cast<PyObject*>(type)) == 0;
}

PyMethodDef kernel_density_rebuild_def() { return function_def<Rebuild, rebuild>(); }

}  // namespace tessaron::py
