// The tessaron.spatial submodule: one class template binds every tree. Each
// class is created only by its static from_array and has the four query
// methods; the trees never change after the build, so every method reads.
#include <type_traits>

#include "python/array_functions.hpp"
#include "python/module_util.hpp"
#include "python/object.hpp"
#include "python/pickling.hpp"
#include "spatial/ball_tree.hpp"
#include "spatial/kd_tree.hpp"
#include "spatial/vp_tree.hpp"

namespace tessaron::py {

namespace sp = ::tessaron::spatial;
using sp::BallTree;
using sp::KDTree;
using sp::VPTree;

namespace {

template <class Tree>
struct TreeClass;

template <>
struct TreeClass<KDTree> {
    static constexpr Literal name = "KDTree";
    static constexpr const char* qualified = "tessaron.KDTree";
};

template <>
struct TreeClass<BallTree> {
    static constexpr Literal name = "BallTree";
    static constexpr const char* qualified = "tessaron.BallTree";
};

template <>
struct TreeClass<VPTree> {
    static constexpr Literal name = "VPTree";
    static constexpr const char* qualified = "tessaron.VPTree";
};

// ---- query conversion -------------------------------------------------------

// A scalar, a sequence of floats or an Array (all its elements), as a vector.
bool point_query(PyObject* obj, Buffer& out) {
    if (is_array(obj)) {
        ArrayArg a;
        if (!extract(obj, a)) return false;
        out = a.value().data;
        return true;
    }
    if (const auto x = as_scalar(obj)) {
        out = Buffer::filled(1, *x);
        return true;
    }
    if (extract(obj, out)) return true;
    PyErr_Clear();
    raise_value_error("query must be a scalar, list, or Array");
    return false;
}

PyObject* row_list(const std::vector<std::uint64_t>& rows) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(rows.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PyObject* item = PyLong_FromUnsignedLongLong(rows[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

std::string dimension_message(const char* what, std::uint64_t got, std::uint64_t dim) {
    return std::string(what) + " " + std::to_string(got) + " doesn't match tree dimension " +
           std::to_string(dim);
}

// The density query set: nothing (the tree's own points), a scalar, an
// Array of one or two dimensions, or a sequence of floats of length dim.
// `own` is set when the tree's points were asked for.
bool density_queries(PyObject* obj, std::uint64_t dim, std::optional<NdArray>& out, bool& own) {
    own = obj == nullptr || obj == Py_None;
    if (own) return true;
    if (is_array(obj)) {
        ArrayArg a;
        if (!extract(obj, a)) return false;
        const NdArray& q = a.value();
        if (q.ndim() != 1 && q.ndim() != 2) {
            raise_value_error("queries must be 1D or 2D array");
            return false;
        }
        const std::uint64_t width = q.shape[q.ndim() - 1];
        if (width != dim) {
            raise_value_error(dimension_message("Query dimension", width, dim));
            return false;
        }
        out = q.ndim() == 2 ? q : NdArray::make(Shape{1, dim}, Buffer(q.data));
        return true;
    }
    if (const auto x = as_scalar(obj)) {
        out = NdArray::make(Shape{1, 1}, Buffer::filled(1, *x));
        return true;
    }
    Buffer values;
    if (!extract(obj, values)) {
        PyErr_Clear();
        raise_value_error("queries must be a scalar, list, or Array");
        return false;
    }
    if (values.size() != dim) {
        raise_value_error(dimension_message("Query vector length", values.size(), dim));
        return false;
    }
    out = NdArray::make(Shape{1, dim}, std::move(values));
    return true;
}

PyObject* densities(NdArray&& d) {
    return d.size() == 1 ? PyFloat_FromDouble(d.data[0]) : wrap_array(std::move(d));
}

// ---- methods ------------------------------------------------------------------

template <class Tree>
struct Methods {
    static constexpr Literal owner = TreeClass<Tree>::name;

    static const Tree& tree(PyObject* self) { return value_of<Tree>(self); }
    static bool read(PyObject* self, ReadLoan& loan) {
        return loan.acquire(reinterpret_cast<Instance<Tree>*>(self)->loan);
    }

    // The VP-tree's from_array also takes the vantage-point selection.
    static constexpr bool kVantage = std::is_same_v<Tree, VPTree>;
    using FromArray = std::conditional_t<
        kVantage,
        Signature<R"(from_array(array, leaf_size=20, metric="euclidean", selection="first"))", owner>,
        Signature<R"(from_array(array, leaf_size=20, metric="euclidean"))", owner>>;
    static PyObject* from_array(Args<FromArray>& in) {
        ArrayArg array;
        std::optional<std::uint64_t> leaf_size;
        std::optional<Name> metric;
        if (!arg<0>(in, array) || !arg<1>(in, leaf_size) || !arg<2>(in, metric)) return nullptr;
        if constexpr (kVantage) {
            std::optional<Name> selection;
            if (!arg<3>(in, selection)) return nullptr;
            const auto m = metric_of(metric);
            const auto v = selection ? sp::parse_selection(selection->lowered, selection->given)
                                     : sp::VantageSelection::First;
            return make_instance<Tree>(Tree::from_ndarray(array.value(), leaf_size.value_or(20), m, v));
        } else {
            return make_instance<Tree>(Tree::from_ndarray(array.value(), leaf_size.value_or(20), metric_of(metric)));
        }
    }

    static sp::DistanceMetric metric_of(const std::optional<Name>& metric) {
        return metric ? sp::parse_metric(metric->lowered, metric->given) : sp::DistanceMetric::Euclidean;
    }

    using QueryKnn = Signature<"query_knn($self, query, k)", owner>;
    static PyObject* query_knn(PyObject* self, Args<QueryKnn>& in) {
        ReadLoan loan;
        std::uint64_t k = 0;
        Buffer query;
        if (!read(self, loan) || !arg<1>(in, k) || !point_query(in.slots[0], query)) return nullptr;
        return row_list(tree(self).query_knn({query.data(), query.size()}, k));
    }

    using QueryRadius = Signature<"query_radius($self, query, radius)", owner>;
    static PyObject* query_radius(PyObject* self, Args<QueryRadius>& in) {
        ReadLoan loan;
        double radius = 0.0;
        Buffer query;
        if (!read(self, loan) || !arg<1>(in, radius) || !point_query(in.slots[0], query))
            return nullptr;
        return row_list(tree(self).query_radius({query.data(), query.size()}, radius));
    }

    // Shared by both density methods once their options are parsed.
    static PyObject* density(PyObject* self, PyObject* queries, double h, sp::KernelType kernel,
                             const sp::ApproxCriterion& criterion) {
        const Tree& t = tree(self);
        std::optional<NdArray> q;
        bool own = false;
        if (!density_queries(queries, t.points().dim, q, own)) return nullptr;
        if (own) return densities(sp::self_density(t, h, kernel, criterion));
        return densities(t.kernel_density(*q, h, kernel, criterion));
    }

    static sp::KernelType kernel_of(const std::optional<Name>& kernel) {
        return kernel ? sp::parse_kernel(kernel->lowered, kernel->given)
                      : sp::KernelType::Gaussian;
    }

    using KernelDensity =
        Signature<R"(kernel_density($self, queries=None, bandwidth=1.0, kernel="gaussian"))", owner>;
    static PyObject* kernel_density(PyObject* self, Args<KernelDensity>& in) {
        ReadLoan loan;
        std::optional<double> bandwidth;
        std::optional<Name> kernel;
        if (!read(self, loan) || !arg<1>(in, bandwidth) || !arg<2>(in, kernel)) return nullptr;
        const sp::KernelType k = kernel_of(kernel);
        return density(self, in.slots[0], bandwidth.value_or(1.0), k, {});
    }

    using KernelDensityApprox = Signature<
        R"(kernel_density_approx($self, queries=None, bandwidth=1.0, kernel="gaussian", criterion="none", min_samples=None, max_span=None))",
        owner>;
    static PyObject* kernel_density_approx(PyObject* self, Args<KernelDensityApprox>& in) {
        ReadLoan loan;
        std::optional<double> bandwidth, max_span;
        std::optional<Name> kernel, criterion;
        std::optional<std::uint64_t> min_samples;
        if (!read(self, loan) || !arg<1>(in, bandwidth) || !arg<2>(in, kernel) ||
            !arg<3>(in, criterion) || !arg<4>(in, min_samples) || !arg<5>(in, max_span))
            return nullptr;
        const sp::KernelType k = kernel_of(kernel);
        const sp::ApproxCriterion c =
            criterion ? sp::parse_criterion(criterion->lowered, criterion->given, min_samples,
                                                 max_span)
                      : sp::ApproxCriterion{};
        return density(self, in.slots[0], bandwidth.value_or(1.0), k, c);
    }

    static inline PyMethodDef table[] = {
        static_def<FromArray, from_array>(),
        method_def<QueryKnn, query_knn>(),
        method_def<QueryRadius, query_radius>(),
        method_def<KernelDensity, kernel_density>(),
        method_def<KernelDensityApprox, kernel_density_approx>(),
        tree_reduce_def<Tree>(),
        kEndOfTable,
    };
    static inline PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Tree>)},
        {Py_tp_methods, table},
        {0, nullptr},
    };
    static inline PyType_Spec spec = {
        .name = TreeClass<Tree>::qualified,
        .basicsize = sizeof(Instance<Tree>),
        .itemsize = 0,
        .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
        .slots = slots,
    };
};

}  // namespace

template <>
PyTypeObject* type_of<KDTree>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, Methods<KDTree>::spec);
}

template <>
PyTypeObject* type_of<BallTree>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, Methods<BallTree>::spec);
}

template <>
PyTypeObject* type_of<VPTree>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, Methods<VPTree>::spec);
}

namespace spatial {

bool register_module(PyObject* module) {
    return add_type(module, type_of<BallTree>(), "BallTree") &&
           add_type(module, type_of<KDTree>(), "KDTree") && add_type(module, type_of<VPTree>(), "VPTree");
}

}  // namespace spatial
}  // namespace tessaron::py
