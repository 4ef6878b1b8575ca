#include "python/spatial/batch_methods.hpp"

#include <string>

#include "python/array/array_args.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

bool worker_threads(std::int64_t workers, sp::Workers& out) {
    // Past a few hundred threads nothing is gained: more only cost memory.
    constexpr std::int64_t kMostThreads = 256;
    if (workers == -1) {
        out.threads = sp::available_cores();
    } else if (workers >= 1) {
        out.threads = static_cast<unsigned>(std::min(workers, kMostThreads));
    } else {
        raise_value_error("workers must be a positive integer or -1");
        return false;
    }
    return true;
}

namespace {

// A float as Python's repr writes it ("-1.0", "nan").
std::string float_text(double x) {
    char* text = PyOS_double_to_string(x, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (!text) {
        PyErr_Clear();
        return "?";
    }
    std::string out(text);
    PyMem_Free(text);
    return out;
}

}  // namespace

bool non_negative(double x, const std::string& name) {
    if (x >= 0.0) return true;
    raise_value_error(name + " must be a non-negative number, not " + float_text(x));
    return false;
}

bool check_distance_bound(const std::optional<double>& bound) {
    return !bound || non_negative(*bound, "distance_upper_bound");
}

bool extract(PyObject* obj, RadiusArg& out) {
    const bool many = is_array(obj) || may_export_numbers(obj) || (PySequence_Check(obj) && !PyUnicode_Check(obj));
    if (many) {
        VecOrArray v;
        if (!extract(obj, v)) return false;
        const NdArray& a = v.as_array();
        if (a.ndim() > 1) {
            raise_value_error(std::string(out.name) + " must be one number or a one-dimensional sequence of numbers");
            return false;
        }
        out.values = a.data;
        out.per_query = a.ndim() == 1;  // a buffer of no dimension is one number
        return true;
    }
    double r = 0.0;
    if (!extract(obj, r)) return false;
    out.values = Buffer::copy_of(&r, 1);
    return true;
}

bool RadiusArg::check(std::uint64_t queries) const {
    if (per_query && values.size() != queries) {
        raise_value_error(std::string(name) + " must be one number or one per query: " +
                          std::to_string(values.size()) + " radii for " + std::to_string(queries) + " queries");
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string label = name;  // appended piecewise: GCC 12 warns falsely on `name + (...)`
        if (per_query) {
            label += '[';
            label += std::to_string(i);
            label += ']';
        }
        if (!non_negative(values[i], label)) return false;
    }
    return true;
}

bool RadiusArg::check_nondecreasing() const {
    if (!check(values.size())) return false;
    for (std::size_t i = 1; i < values.size(); ++i)
        if (values[i] < values[i - 1]) {
            std::string message = name;
            message += " must be nondecreasing: ";
            message += name;
            message += '[';
            message += std::to_string(i);
            message += "] = ";
            message += float_text(values[i]);
            message += " follows ";
            message += float_text(values[i - 1]);
            raise_value_error(message);
            return false;
        }
    return true;
}

bool RadiusFlags::check() const {
    if (count_only && (distances || flat)) {
        raise_value_error("count_only=True gives counts alone: it cannot be combined with return_distance=True "
                          "or flat=True");
        return false;
    }
    return true;
}

PyObject* list_answer(const std::int64_t* offsets, const std::int64_t* rows, const double* distances,
                      std::uint64_t m) {
    Ref lists = Ref::steal(PyList_New(static_cast<Py_ssize_t>(m)));
    Ref dists = distances ? Ref::steal(PyList_New(static_cast<Py_ssize_t>(m))) : Ref();
    if (!lists || (distances && !dists)) return nullptr;
    for (std::uint64_t i = 0; i < m; ++i) {
        const auto from = static_cast<std::uint64_t>(offsets[i]), to = static_cast<std::uint64_t>(offsets[i + 1]);
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(to - from)));
        if (!list) return nullptr;
        for (std::uint64_t j = from; j < to; ++j) {
            PyObject* item = PyLong_FromLongLong(rows[j]);
            if (!item) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(j - from), item);
        }
        PyList_SET_ITEM(lists.get(), static_cast<Py_ssize_t>(i), list.release());
        if (distances) {
            PyObject* d = wrap_array(NdArray::make(d1(to - from), Buffer::copy_of(distances + from, to - from)));
            if (!d) return nullptr;
            PyList_SET_ITEM(dists.get(), static_cast<Py_ssize_t>(i), d);
        }
    }
    return distances ? PyTuple_Pack(2, lists.get(), dists.get()) : lists.release();
}

PyObject* flat_answer(const Ref& offsets, const Ref& rows, std::optional<NdArray>& distances) {
    if (!distances) return PyTuple_Pack(2, offsets.get(), rows.get());
    Ref d = Ref::steal(wrap_array(std::move(*distances)));
    return d ? PyTuple_Pack(3, offsets.get(), rows.get(), d.get()) : nullptr;
}

}  // namespace tessaron::py
