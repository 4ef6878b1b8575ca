// The trees' searches between two point sets: the pairs of the tree's own
// points within a radius, a sparse distance matrix to other points and the
// pair counts within many radii. Like the batches, they run without the GIL
// on up to `workers` threads, and Ctrl-C abandons them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "python/spatial/batch_methods.hpp"
#include "python/spatial/tree_class.hpp"
#include "spatial/names.hpp"
#include "spatial/pairs.hpp"

namespace tessaron::py {

template <class Tree>
struct PairMethods : BatchMethods<Tree> {
    using Batch = BatchMethods<Tree>;
    using Batch::read;
    using Batch::run;
    using Batch::tree;
    static constexpr Literal owner = TreeEntry<Tree>::name;

    // The `other` argument: a tree of this class, dimension and metric
    // (read-borrowed for the call; trees never change), or points in any
    // form the batch queries take (copied).
    struct Other {
        ReadLoan loan;
        QueryMatrix copied;
        sp::PointRows points;
    };
    static bool read_other(PyObject* self, PyObject* obj, Other& out) {
        const sp::PointSet& mine = tree(self).points();
        if (Py_TYPE(obj) == Py_TYPE(self)) {
            if (!read(obj, out.loan)) return false;
            const sp::PointSet& theirs = tree(obj).points();
            if (theirs.dim != mine.dim) {
                raise_value_error("other has dimension " + std::to_string(theirs.dim) + ", this tree " +
                                  std::to_string(mine.dim));
                return false;
            }
            if (theirs.metric != mine.metric || theirs.params != mine.params) {
                raise_value_error("other uses the metric '" + sp::metric_label(theirs.metric, theirs.params) +
                                  "', this tree '" + sp::metric_label(mine.metric, mine.params) + "'");
                return false;
            }
            out.points = sp::PointRows::of(tree(obj));
            return true;
        }
        if (is_tree(obj)) {
            raise_type_error(std::string("other must be a ") + owner.chars + " or points, not " + type_name(obj));
            return false;
        }
        if (!query_matrix(obj, mine.dim, out.copied, "other")) return false;
        out.points = {out.copied.values.data(), out.copied.rows, nullptr};
        return true;
    }

    using QueryPairs = Signature<"query_pairs($self, radius, *, workers=1, return_distance=False)", owner>;
    static PyObject* query_pairs(PyObject* self, Args<QueryPairs>& in) {
        ReadLoan loan;
        double radius = 0.0;
        sp::Workers workers;
        bool distances = false;
        if (!read(self, loan) || !arg<0>(in, radius) || !Batch::template workers_arg<1>(in, workers) ||
            !arg<2>(in, distances) || !non_negative(radius, "radius"))
            return nullptr;
        const Tree& t = tree(self);
        const std::uint64_t n = t.points().n;
        sp::PairGather gather(n, n, distances, workers);
        run(workers, [&](const sp::Workers& w) { sp::pairs_within(t, radius, gather, w); });
        const std::uint64_t total = gather.lists.total();
        std::int64_t* pairs = nullptr;
        Ref matrix = index_matrix(total, 2, pairs);
        if (!matrix) return nullptr;
        std::optional<NdArray> d;
        if (distances) d = NdArray::uninit(d1(total));
        run(workers, [&](const sp::Workers& w) {  // into storage no Python code has seen yet
            sp::write_pairs(gather, pairs, pairs + 1, 2, d ? d->data.data() : nullptr, w);
        });
        if (!distances) return matrix.release();
        Ref dists = Ref::steal(wrap_array(std::move(*d)));
        return dists ? PyTuple_Pack(2, matrix.get(), dists.get()) : nullptr;
    }

    using CountNeighbors =
        Signature<"count_neighbors($self, other, radii, *, workers=1, cumulative=True)", owner>;
    static PyObject* count_neighbors(PyObject* self, Args<CountNeighbors>& in) {
        ReadLoan loan;
        Other other;
        RadiusArg radii;
        radii.name = "radii";
        sp::Workers workers;
        bool cumulative = true;
        if (!read(self, loan) || !read_other(self, in.slots[0], other) || !arg<1>(in, radii) ||
            !Batch::template workers_arg<2>(in, workers) || !arg<3>(in, cumulative) || !radii.check_nondecreasing())
            return nullptr;
        const Tree& t = tree(self);
        const std::vector<double> r(radii.values.data(), radii.values.data() + radii.values.size());
        std::vector<std::int64_t> bins(r.size(), 0);
        run(workers, [&](const sp::Workers& w) { sp::count_pairs(t, other.points, r, bins.data(), w); });
        if (cumulative)
            for (std::size_t j = 1; j < bins.size(); ++j) bins[j] += bins[j - 1];
        if (!radii.per_query) return PyLong_FromLongLong(bins[0]);
        std::int64_t* out = nullptr;
        Ref counts = index_vector(bins.size(), out);
        if (!counts) return nullptr;
        std::copy(bins.begin(), bins.end(), out);
        return counts.release();
    }

    using SparseDistanceMatrix =
        Signature<"sparse_distance_matrix($self, other, max_distance, *, workers=1)", owner>;
    static PyObject* sparse_distance_matrix(PyObject* self, Args<SparseDistanceMatrix>& in) {
        ReadLoan loan;
        Other other;
        double max_distance = 0.0;
        sp::Workers workers;
        if (!read(self, loan) || !read_other(self, in.slots[0], other) || !arg<1>(in, max_distance) ||
            !Batch::template workers_arg<2>(in, workers) || !non_negative(max_distance, "max_distance"))
            return nullptr;
        const Tree& t = tree(self);
        sp::PairGather gather(t.points().n, other.points.m, true, workers);
        run(workers, [&](const sp::Workers& w) { sp::cross_pairs(t, other.points, max_distance, gather, w); });
        const std::uint64_t total = gather.lists.total();
        std::int64_t *rows = nullptr, *cols = nullptr;
        Ref rows_out = index_vector(total, rows);
        Ref cols_out = rows_out ? index_vector(total, cols) : Ref();
        if (!cols_out) return nullptr;
        NdArray d = NdArray::uninit(d1(total));
        run(workers, [&](const sp::Workers& w) {
            sp::write_pairs(gather, rows, cols, 1, d.data.data(), w);
        });
        Ref dists = Ref::steal(wrap_array(std::move(d)));
        return dists ? PyTuple_Pack(3, rows_out.get(), cols_out.get(), dists.get()) : nullptr;
    }
};

}  // namespace tessaron::py
