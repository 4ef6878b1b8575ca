// The trees' batch queries: many queries per call, answered without the GIL
// on up to `workers` threads, each row exactly the single query's answer.
// Ctrl-C abandons the call with KeyboardInterrupt.
#pragma once

#include <algorithm>
#include <vector>

#include "python/array/array_object.hpp"
#include "python/binding.hpp"
#include "python/gil.hpp"
#include "python/index_matrix.hpp"
#include "python/int_list.hpp"
#include "python/object.hpp"
#include "python/spatial/query_matrix.hpp"
#include "python/spatial/tree_entries.hpp"
#include "spatial/batch.hpp"

namespace tessaron::py {

// Threads for a `workers` argument: n >= 1, or -1 for every available core.
bool worker_threads(std::int64_t workers, sp::Workers& out);

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

    // Runs search(workers) without the GIL, with Ctrl-C as the poll; false
    // (with the exception set) when interrupted.
    template <class Search>
    static bool run(sp::Workers& workers, Search&& search) {
        WithoutGil released;
        workers.interrupted = [&] { return released.signalled(); };
        return search(workers);
    }

    using QueryKnnBatch = Signature<"query_knn_batch($self, queries, k, *, workers=1)", owner>;
    static PyObject* query_knn_batch(PyObject* self, Args<QueryKnnBatch>& in) {
        ReadLoan loan;
        std::uint64_t k = 0;
        std::int64_t threads = 1;
        sp::Workers workers;
        QueryMatrix q;
        const Tree& t = tree(self);
        if (!read(self, loan) || !arg<1>(in, k) || !arg<2>(in, threads) || !worker_threads(threads, workers) ||
            !query_matrix(in.slots[0], t.points().dim, q))
            return nullptr;
        const std::uint64_t room = std::min(k, t.points().n);
        std::int64_t* rows = nullptr;
        Ref owner = index_matrix(q.rows, room, rows);  // also checks rows * room
        if (!owner) return nullptr;
        NdArray distances = NdArray::uninit(Shape{q.rows, room});
        const bool done = run(workers, [&](const sp::Workers& w) {
            return sp::knn_batch(t, q.values.data(), q.rows, k, distances.data.data(), rows, w);
        });
        if (!done) return nullptr;
        Ref d = Ref::steal(wrap_array(std::move(distances)));
        Ref view = d ? Ref::steal(memoryview_of(owner)) : Ref();
        return view ? PyTuple_Pack(2, d.get(), view.get()) : nullptr;
    }

    using QueryRadiusBatch = Signature<"query_radius_batch($self, queries, radius, *, workers=1)", owner>;
    static PyObject* query_radius_batch(PyObject* self, Args<QueryRadiusBatch>& in) {
        ReadLoan loan;
        double radius = 0.0;
        std::int64_t threads = 1;
        sp::Workers workers;
        QueryMatrix q;
        const Tree& t = tree(self);
        if (!read(self, loan) || !arg<1>(in, radius) || !arg<2>(in, threads) || !worker_threads(threads, workers) ||
            !query_matrix(in.slots[0], t.points().dim, q))
            return nullptr;
        std::vector<std::vector<std::uint64_t>> found;
        const bool done = run(workers, [&](const sp::Workers& w) {
            return sp::radius_batch(t, q.values.data(), q.rows, radius, found, w);
        });
        if (!done) return nullptr;
        Ref out = Ref::steal(PyList_New(static_cast<Py_ssize_t>(found.size())));
        if (!out) return nullptr;
        for (std::size_t i = 0; i < found.size(); ++i) {
            PyObject* list = int_list(found[i]);
            if (!list) return nullptr;
            PyList_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), list);
            std::vector<std::uint64_t>().swap(found[i]);  // free as we go
        }
        return out.release();
    }
};

}  // namespace tessaron::py
