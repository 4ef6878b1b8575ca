// The trees' batch queries: many queries per call, answered without the GIL
// on up to `workers` threads, each row exactly the single query's answer.
// Ctrl-C abandons the call with KeyboardInterrupt.
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "python/array/array_object.hpp"
#include "python/binding.hpp"
#include "python/gil.hpp"
#include "python/index_matrix.hpp"
#include "python/object.hpp"
#include "python/spatial/query_matrix.hpp"
#include "python/spatial/tree_entries.hpp"
#include "spatial/batch.hpp"
#include "spatial/names.hpp"

namespace tessaron::py {

// Threads for a `workers` argument: n >= 1, or -1 for every available core.
bool worker_threads(std::int64_t workers, sp::Workers& out);

// The density options from parameters 1 and 2 (bandwidth, kernel) and,
// where the method has them, 3 to 5 (criterion, min_samples, max_span; the
// exact density otherwise), checked as the density methods check them:
// names first, then the bandwidth.
struct DensityOptions {
    double h = 1.0;
    sp::KernelType kernel{};
    sp::ApproxCriterion criterion;

    template <class Base>
    bool read(const Slots<Base>& in) {
        DefaultIfNone<double> bandwidth;
        DefaultIfNone<Name> kernel_name;
        if (!arg<1>(in, bandwidth) || !arg<2>(in, kernel_name)) return false;
        if constexpr (Base::size > 3) {
            DefaultIfNone<Name> criterion_name;
            std::optional<double> max_span;
            std::optional<std::uint64_t> min_samples;
            if (!arg<3>(in, criterion_name) || !arg<4>(in, min_samples) || !arg<5>(in, max_span)) return false;
            kernel = sp::parse_kernel(kernel_name.value.lowered, kernel_name.value.given);
            criterion = sp::parse_criterion(criterion_name.value.lowered, criterion_name.value.given, min_samples,
                                            max_span);
        } else {
            kernel = sp::parse_kernel(kernel_name.value.lowered, kernel_name.value.given);
        }
        h = bandwidth.value;
        sp::check_bandwidth(h);
        return true;
    }
};

// ValueError "{name} must be a non-negative number, not {x}" unless x >= 0.
bool non_negative(double x, const std::string& name);

// distance_upper_bound: None, or a number, not NaN, not negative.
bool check_distance_bound(const std::optional<double>& bound);

// The radius argument of a radius batch: one number, or one per query (a
// sequence, Array or one-dimensional buffer of numbers), none negative or NaN.
struct RadiusArg {
    const char* name = "radius";  // as messages name it
    Buffer values;
    bool per_query = false;  // a sequence (one per query, or radii to count within)
    // Checks the count against the queries' and every value.
    bool check(std::uint64_t queries) const;
    // Checks every value, and that they do not decrease.
    bool check_nondecreasing() const;
    sp::Radii radii() const { return {values.data(), per_query}; }
};
bool extract(PyObject* obj, RadiusArg& out);

// The answer options of a radius batch.
struct RadiusFlags {
    bool distances = false, sorted = false, count_only = false, flat = false;
    bool check() const;  // count_only excludes distances and flat
};

// The answers of m queries laid out as compressed rows (offsets, rows and,
// when kept, distances), as lists: one list of ints per query, with a list
// of one-dimensional distance Arrays when kept; or as the rows themselves:
// (offsets, indices[, distances]).
PyObject* list_answer(const std::int64_t* offsets, const std::int64_t* rows, const double* distances,
                      std::uint64_t m);
PyObject* flat_answer(const Ref& offsets, const Ref& rows, std::optional<NdArray>& distances);

template <class Tree>
struct TreeAccess {
    static const Tree& tree(PyObject* self) { return value_of<Tree>(self); }
    static bool read(PyObject* self, ReadLoan& loan) {
        return loan.acquire(reinterpret_cast<Instance<Tree>*>(self)->loan);
    }
};

template <class Tree>
struct BatchMethods : TreeAccess<Tree> {
    using TreeAccess<Tree>::tree;
    using TreeAccess<Tree>::read;
    static constexpr Literal owner = TreeEntry<Tree>::name;

    // Runs search(workers) without the GIL; Ctrl-C abandons it.
    template <class Search>
    static void run(sp::Workers& workers, Search&& search) {
        without_gil([&](sp::Watch& watch) {
            workers.watch = &watch;
            search(static_cast<const sp::Workers&>(workers));
        });
    }

    // The `workers` argument, parameter I.
    template <std::size_t I, class Base>
    static bool workers_arg(const Slots<Base>& in, sp::Workers& workers) {
        std::int64_t threads = 1;
        return arg<I>(in, threads) && worker_threads(threads, workers);
    }

    // What a k-nearest or radius batch reads: the loan, parameter 1 (k or
    // the radius), the workers, then the queries.
    template <class Base, class Value>
    static bool read_batch(PyObject* self, const Slots<Base>& in, ReadLoan& loan, Value& value,
                           sp::Workers& workers, QueryMatrix& q) {
        return read(self, loan) && arg<1>(in, value) && workers_arg<2>(in, workers) &&
               query_matrix(in.slots[0], tree(self).points().dim, q);
    }

    using QueryKnnBatch =
        Signature<"query_knn_batch($self, queries, k, *, workers=1, distance_upper_bound=None)", owner>;
    static PyObject* query_knn_batch(PyObject* self, Args<QueryKnnBatch>& in) {
        ReadLoan loan;
        std::uint64_t k = 0;
        std::optional<double> bound;  // None: no bound
        sp::Workers workers;
        QueryMatrix q;
        const Tree& t = tree(self);
        const bool graph = in.slots[0] == Py_None;  // the tree's own points, each without itself
        if (!read(self, loan) || !arg<1>(in, k) || !workers_arg<2>(in, workers) || !arg<3>(in, bound) ||
            !check_distance_bound(bound) || (!graph && !query_matrix(in.slots[0], t.points().dim, q)))
            return nullptr;
        const std::uint64_t n = t.points().n;
        if (graph) q.rows = n;
        const std::uint64_t room = graph ? std::min(k, n ? n - 1 : 0) : std::min(k, n);
        std::int64_t* rows = nullptr;
        Ref owner = index_matrix(q.rows, room, rows);  // also checks rows * room
        if (!owner) return nullptr;
        NdArray distances = NdArray::uninit(Shape{q.rows, room});
        run(workers, [&](const sp::Workers& w) {
            const double limit = bound.value_or(HUGE_VAL);
            if (graph) return sp::knn_graph_batch(t, k, limit, distances.data.data(), rows, w);
            sp::knn_batch(t, q.values.data(), q.rows, k, limit, distances.data.data(), rows, w);
        });
        Ref d = Ref::steal(wrap_array(std::move(distances)));
        return d ? PyTuple_Pack(2, d.get(), owner.get()) : nullptr;
    }

    using QueryRadiusBatch = Signature<
        "query_radius_batch($self, queries, radius, *, workers=1, return_distance=False, sort_results=False, "
        "count_only=False, flat=False)",
        owner>;
    static PyObject* query_radius_batch(PyObject* self, Args<QueryRadiusBatch>& in) {
        ReadLoan loan;
        RadiusArg radius;
        sp::Workers workers;
        RadiusFlags f;
        QueryMatrix q;
        const Tree& t = tree(self);
        if (!read(self, loan) || !arg<1>(in, radius) || !workers_arg<2>(in, workers) || !arg<3>(in, f.distances) ||
            !arg<4>(in, f.sorted) || !arg<5>(in, f.count_only) || !arg<6>(in, f.flat) || !f.check() ||
            !query_matrix(in.slots[0], t.points().dim, q) || !radius.check(q.rows))
            return nullptr;
        const sp::Radii radii = radius.radii();
        if (f.count_only) {
            std::int64_t* counts = nullptr;
            Ref out = index_vector(q.rows, counts);
            if (!out) return nullptr;
            run(workers, [&](const sp::Workers& w) { sp::radius_count_batch(t, q.values.data(), q.rows, radii, counts, w); });
            return out.release();
        }
        // The sizes go straight into the offsets, the gathered answers to
        // their places once the total is known; lists are made from those.
        std::int64_t *offsets = nullptr, *rows = nullptr;
        Ref offsets_out = index_vector(q.rows + 1, offsets);
        if (!offsets_out) return nullptr;
        sp::AnswerGather gather(q.rows, f.distances, workers);
        run(workers, [&](const sp::Workers& w) {
            sp::radius_gather(t, q.values.data(), q.rows, radii, {f.distances, f.sorted}, offsets, gather, w);
        });
        const std::uint64_t total = sp::sizes_to_offsets(offsets, q.rows);
        Ref rows_out = index_vector(total, rows);
        if (!rows_out) return nullptr;
        std::optional<NdArray> dists;
        if (f.distances) dists = NdArray::uninit(d1(total));
        run(workers, [&](const sp::Workers& w) {
            sp::write_answers(gather, offsets, rows, dists ? dists->data.data() : nullptr, w);
        });
        if (f.flat) return flat_answer(offsets_out, rows_out, dists);
        return list_answer(offsets, rows, dists ? dists->data.data() : nullptr, q.rows);
    }

    using KernelDensityBatch = Signature<
        R"(kernel_density_batch($self, queries=None, bandwidth=1.0, kernel="gaussian", criterion="none", min_samples=None, max_span=None, *, workers=1))",
        owner>;
    static PyObject* kernel_density_batch(PyObject* self, Args<KernelDensityBatch>& in) {
        ReadLoan loan;
        DensityOptions o;
        sp::Workers workers;
        if (!read(self, loan) || !o.read(in) || !workers_arg<6>(in, workers)) return nullptr;
        const Tree& t = tree(self);
        const bool own = in.slots[0] == nullptr || in.slots[0] == Py_None;
        QueryMatrix q;
        if (!own && !query_matrix(in.slots[0], t.points().dim, q)) return nullptr;
        NdArray out = NdArray::uninit(d1(own ? t.points().n : q.rows));
        run(workers, [&](const sp::Workers& w) {
            if (own) return sp::self_density_batch(t, o.h, o.kernel, o.criterion, out.data.data(), w);
            sp::density_batch(t, q.values.data(), q.rows, o.h, o.kernel, o.criterion, out.data.data(), w);
        });
        return wrap_array(std::move(out));
    }
};

}  // namespace tessaron::py
