// The tree classes of tessaron.spatial: one class template binds every tree
// listed in tree_entries.hpp. Each class is created only by its static
// from_array and has the four query methods and pickling; the trees never
// change after the build, so every method reads.
#include <cstring>

#include "python/binding.hpp"
#include "python/index_matrix.hpp"
#include "python/int_list.hpp"
#include "python/module_util.hpp"
#include "python/object.hpp"
#include "python/pickling.hpp"
#include "python/spatial/pair_methods.hpp"
#include "python/spatial/kernel_density.hpp"
#include "python/spatial/metric_class.hpp"
#include "python/spatial/queries.hpp"
#include "python/spatial/tree_class.hpp"
#include "python/spatial/tree_entries.hpp"
#include "spatial/names.hpp"

namespace tessaron::py {
namespace {

template <class Tree>
PyObject* make_tree(std::optional<Tree>&& built) {
    return built ? make_instance_of<Tree>(tree_type<Tree>(), std::move(*built)) : nullptr;
}

template <class Tree>
struct Methods : PairMethods<Tree> {
    using Entry = TreeEntry<Tree>;
    using Batch = BatchMethods<Tree>;
    using Pairs = PairMethods<Tree>;
    using Batch::read;
    using Batch::tree;
    static constexpr Literal owner = Entry::name;

    using FromArray = typename Entry::FromArray;
    static PyObject* from_array(Args<FromArray>& in) { return make_tree(Entry::build(in)); }

    using QueryKnn = Signature<"query_knn($self, query, k)", owner>;
    static PyObject* query_knn(PyObject* self, Args<QueryKnn>& in) {
        ReadLoan loan;
        std::uint64_t k = 0;
        Buffer query;
        if (!read(self, loan) || !arg<1>(in, k) || !point_query(in.slots[0], query)) return nullptr;
        sp::Watch watch = signal_watch();
        return int_list(tree(self).query_knn({query.data(), query.size()}, k, watch));
    }

    using QueryRadius = Signature<"query_radius($self, query, radius)", owner>;
    static PyObject* query_radius(PyObject* self, Args<QueryRadius>& in) {
        ReadLoan loan;
        double radius = 0.0;
        Buffer query;
        if (!read(self, loan) || !arg<1>(in, radius) || !point_query(in.slots[0], query))
            return nullptr;
        sp::Watch watch = signal_watch();
        return int_list(tree(self).query_radius({query.data(), query.size()}, radius, watch));
    }

    // Shared by both density methods once their options are read: the
    // queries are copied, then searched without the GIL (Ctrl-C abandons).
    static PyObject* density(PyObject* self, PyObject* queries, const DensityOptions& o) {
        const Tree& t = tree(self);
        std::optional<NdArray> q;
        bool own = false;
        if (!density_queries(queries, t.points().dim, q, own)) return nullptr;
        if (!own) sp::check_density_queries(*q, t.points().dim);
        NdArray out = NdArray::uninit(d1(own ? t.points().n : q->shape[0]));
        sp::Workers caller_only;
        Batch::run(caller_only, [&](const sp::Workers& w) {
            if (own) return sp::self_density_batch(t, o.h, o.kernel, o.criterion, out.data.data(), w);
            sp::density_batch(t, q->data.data(), q->shape[0], o.h, o.kernel, o.criterion, out.data.data(), w);
        });
        return densities(std::move(out));
    }

    using KernelDensity =
        Signature<R"(kernel_density($self, queries=None, bandwidth=1.0, kernel="gaussian"))", owner>;
    static PyObject* kernel_density(PyObject* self, Args<KernelDensity>& in) {
        ReadLoan loan;
        DensityOptions o;
        if (!read(self, loan) || !o.read(in)) return nullptr;
        return density(self, in.slots[0], o);
    }

    using KernelDensityApprox = Signature<
        R"(kernel_density_approx($self, queries=None, bandwidth=1.0, kernel="gaussian", criterion="none", min_samples=None, max_span=None))",
        owner>;
    static PyObject* kernel_density_approx(PyObject* self, Args<KernelDensityApprox>& in) {
        ReadLoan loan;
        DensityOptions o;
        if (!read(self, loan) || !o.read(in)) return nullptr;
        return density(self, in.slots[0], o);
    }

    // Pickling: the built state as bytes, rebuilt by _rebuild_tree(name, state).
    using Reduce = Signature<"__reduce__($self)">;
    static PyObject* reduce(PyObject* self, Args<Reduce>&) {
        ReadLoan loan;
        if (!read(self, loan)) return nullptr;
        const std::vector<std::uint8_t> state = tree(self).state();
        Ref fn = Ref::steal(rebuild_function("_rebuild_tree"));
        Ref bytes = fn ? Ref::steal(bytes_from(state.data(), state.size())) : Ref();
        if (!bytes) return nullptr;
        return Py_BuildValue("O(sO)", fn.get(), Entry::name.chars, bytes.get());
    }

    // What a tree is: len(tree), n, dim, metric, leaf_size and a copy of its points.
    static Py_ssize_t length(PyObject* self) { return static_cast<Py_ssize_t>(tree(self).points().n); }
    static PyObject* get_n(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(tree(self).points().n); }
    static PyObject* get_dim(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(tree(self).points().dim); }
    static PyObject* get_leaf_size(PyObject* self, void*) {
        return PyLong_FromUnsignedLongLong(tree(self).leaf_size());
    }
    // The name, or a Metric for a tree whose metric an object named.
    static PyObject* get_metric(PyObject* self, void*) {
        const sp::PointSet& p = tree(self).points();
        if (p.metric_as_object) return metric_object({p.metric, p.params});
        const std::string_view name = sp::metric_name(p.metric);
        return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    }
    static PyObject* get_points(PyObject* self, void*) {
        return guard([&]() -> PyObject* {
            const sp::PointSet& p = tree(self).points();
            NdArray out = NdArray::uninit(Shape{p.n, p.dim});
            for (std::uint64_t slot = 0; slot < p.n; ++slot)  // back into input-row order
                std::copy_n(p.at(slot), p.dim, out.data.data() + p.rows[slot] * p.dim);
            return wrap_array(std::move(out));
        });
    }
    static inline PyGetSetDef getset[] = {
        {"n", get_n, nullptr, "The number of points (also len(tree)).", nullptr},
        {"dim", get_dim, nullptr, "The points' dimension.", nullptr},
        {"metric", get_metric, nullptr,
         "The metric's name, or the Metric object the tree was built with.", nullptr},
        {"leaf_size", get_leaf_size, nullptr,
         "The leaf size the tree was built with (for trees pickled before it was kept: the smallest that "
         "builds the same nodes).",
         nullptr},
        {"points", get_points, nullptr,
         "A copy of the points as an (n, dim) Array, in input-row order (row i is the point of row i).", nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };

    static inline PyMethodDef table[] = {
        static_def<FromArray, from_array>(),
        method_def<QueryKnn, query_knn>(),
        method_def<QueryRadius, query_radius>(),
        method_def<KernelDensity, kernel_density>(),
        method_def<KernelDensityApprox, kernel_density_approx>(),
        method_def<typename Batch::QueryKnnBatch, Batch::query_knn_batch>(),
        method_def<typename Batch::QueryRadiusBatch, Batch::query_radius_batch>(),
        method_def<typename Batch::KernelDensityBatch, Batch::kernel_density_batch>(),
        method_def<typename Pairs::QueryPairs, Pairs::query_pairs>(),
        method_def<typename Pairs::CountNeighbors, Pairs::count_neighbors>(),
        method_def<typename Pairs::SparseDistanceMatrix, Pairs::sparse_distance_matrix>(),
        method_def<Reduce, reduce>(),
        kEndOfTable,
    };
    static inline PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Tree>)},
        {Py_tp_methods, table},
        {Py_tp_getset, getset},
        {Py_sq_length, reinterpret_cast<void*>(length)},
        {Py_tp_doc, nullptr},  // the class's prose, filled in when the type is created
        {0, nullptr},
    };
    static inline PyType_Spec spec = sealed_spec<Tree>(Entry::qualified, slots);
};

using RebuildTree = Signature<"_rebuild_tree(kind, state)">;

PyObject* rebuild_tree(Args<RebuildTree>& in) {
    Name kind;
    std::string_view data;
    if (!arg<0>(in, kind) || !bytes_of(in.slots[1], "tree", data)) return nullptr;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    PyObject* out = nullptr;
    const bool unknown = for_each_tree([&]<class Tree>() {
        if (kind.given != TreeEntry<Tree>::name.view()) return true;
        out = make_tree(std::optional<Tree>(Tree::from_state(bytes)));
        return false;
    });
    if (unknown) raise_value_error("Invalid pickled tree state: unknown kind of tree");
    return out;
}

}  // namespace

template <class Tree>
PyTypeObject* tree_type() {
    static PyTypeObject* type = nullptr;
    return create_once(type, Methods<Tree>::spec);
}
template PyTypeObject* tree_type<sp::BallTree>();
template PyTypeObject* tree_type<sp::KDTree>();
template PyTypeObject* tree_type<sp::VPTree>();

bool is_tree(PyObject* obj) {
    return !for_each_tree([&]<class Tree>() { return Py_TYPE(obj) != tree_type<Tree>(); });
}

PyMethodDef tree_rebuild_def() { return function_def<RebuildTree, rebuild_tree>(); }

namespace spatial {

bool register_module(PyObject* module) {
    return for_each_tree([&]<class Tree>() {
        return add_type(module, tree_type<Tree>(), TreeEntry<Tree>::name.chars);
    }) && add_index_matrix_type(module) && add_metric_type(module) &&
           add_kernel_density_type(module);
}

bool register_top_level(PyObject* module) {
    return for_each_tree([&]<class Tree>() {
        return !TreeEntry<Tree>::top_level || add_type(module, tree_type<Tree>(), TreeEntry<Tree>::name.chars);
    });
}

}  // namespace spatial
}  // namespace tessaron::py
