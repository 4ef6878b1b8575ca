#include "python/spatial/query_matrix.hpp"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "python/args.hpp"
#include "python/array/array_args.hpp"
#include "python/buffer_reals.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

void raise_dimension_mismatch(const char* what, std::uint64_t got, std::uint64_t dim) {
    raise_value_error(std::string(what) + " " + std::to_string(got) + " doesn't match tree dimension " +
                      std::to_string(dim));
}

namespace {

// "queries must be a 2D array" (or the name of another parameter).
void raise_not_2d(const char* name) { raise_value_error(std::string(name) + " must be a 2D array"); }

bool check_shape(std::uint64_t width, std::uint64_t dim, const char* name) {
    if (width == dim || dim == kAnyWidth) return true;
    const std::string what = std::string_view(name) == "queries" ? "Query dimension" : std::string(name) + " dimension";
    raise_dimension_mismatch(what.c_str(), width, dim);
    return false;
}

// Storage for rows x dim values; MemoryError when it could not be addressed.
bool allocate(QueryMatrix& out, std::uint64_t rows, std::uint64_t dim) {
    if (dim != 0 && rows > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(double) / dim) {
        PyErr_NoMemory();
        return false;
    }
    out.values = Buffer::uninit(rows * dim);
    out.rows = rows;
    out.width = dim;
    return true;
}

// ---- buffers ---------------------------------------------------------------

// 0: read; 1: failed (exception set); 2: not a buffer of numbers (try the
// sequence reading).
int from_buffer(PyObject* obj, std::uint64_t dim, QueryMatrix& out, const char* name) {
    if (!PyObject_CheckBuffer(obj)) return 2;
    HeldBuffer view;
    if (!view.acquire(obj)) {
        PyErr_Clear();
        return 2;
    }
    const char* format = view->format ? view->format : "B";
    if (std::string_view(format).find('O') != std::string_view::npos) return 2;  // objects
    if (!holds_reals(*view)) {
        raise_type_error(std::string(name) + " must hold real numbers, not buffer format '" + format + "'");
        return 1;
    }
    if (view->ndim != 2) {
        raise_not_2d(name);
        return 1;
    }
    const auto rows = static_cast<std::uint64_t>(view->shape[0]), width = static_cast<std::uint64_t>(view->shape[1]);
    if (!check_shape(width, dim, name) || !allocate(out, rows, width)) return 1;
    read_reals(*view, out.values.data());
    return 0;
}

// ---- sequences -------------------------------------------------------------

bool from_sequence(PyObject* obj, std::uint64_t dim, QueryMatrix& out, const char* name) {
    if (refuse_non_sequence(obj)) return false;
    Ref seq = Ref::steal(PySequence_Fast(obj, (std::string(name) + " must be a sequence").c_str()));
    if (!seq) return false;
    std::vector<double> values;
    std::uint64_t rows = 0;
    bool inferred = false;
    // The size is read again each time: a conversion hook may change a list.
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i, ++rows) {
        Ref item = Ref::borrow(PySequence_Fast_GET_ITEM(seq.get(), i));
        if (PyNumber_Check(item.get()) && !PySequence_Check(item.get())) {
            raise_not_2d(name);
            return false;
        }
        Buffer row;
        if (is_array(item.get())) {  // a one-dimensional Array is a row too
            ArrayArg a;
            if (!extract(item.get(), a)) return false;
            if (a.value().ndim() != 1) {
                raise_not_2d(name);
                return false;
            }
            row = a.value().data;
        } else if (!extract(item.get(), row)) {
            return false;
        }
        if (dim == kAnyWidth) {
            dim = row.size();  // the first row's width, for all
            inferred = true;
        } else if (inferred && row.size() != dim) {
            raise_value_error(std::string(name) + " rows must all have the same length: row " + std::to_string(rows) +
                              " has " + std::to_string(row.size()) + " numbers, the first " + std::to_string(dim));
            return false;
        } else if (!check_shape(row.size(), dim, name)) {
            return false;
        }
        values.insert(values.end(), row.data(), row.data() + row.size());
    }
    if (!allocate(out, rows, dim == kAnyWidth ? 0 : dim)) return false;
    if (!values.empty()) std::memcpy(out.values.data(), values.data(), values.size() * sizeof(double));
    return true;
}

}  // namespace

bool query_matrix(PyObject* obj, std::uint64_t dim, QueryMatrix& out, const char* name) {
    if (is_array(obj)) {
        ArrayArg a;
        if (!extract(obj, a)) return false;
        const NdArray& q = a.value();
        if (q.ndim() != 2) {
            raise_not_2d(name);
            return false;
        }
        if (!check_shape(q.shape[1], dim, name) || !allocate(out, q.shape[0], q.shape[1])) return false;
        if (q.size()) std::memcpy(out.values.data(), q.data.data(), q.size() * sizeof(double));
        return true;
    }
    const int read = from_buffer(obj, dim, out, name);
    if (read != 2) return read == 0;
    return from_sequence(obj, dim, out, name);
}

}  // namespace tessaron::py
