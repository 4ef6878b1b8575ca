#include "python/spatial/queries.hpp"

#include <string>

#include "python/array/array_args.hpp"
#include "python/errors.hpp"
#include "python/spatial/query_matrix.hpp"

namespace tessaron::py {

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
            raise_dimension_mismatch("Query dimension", width, dim);
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
        raise_dimension_mismatch("Query vector length", values.size(), dim);
        return false;
    }
    out = NdArray::make(Shape{1, dim}, std::move(values));
    return true;
}

PyObject* densities(NdArray&& d) {
    return d.size() == 1 ? PyFloat_FromDouble(d.data[0]) : wrap_array(std::move(d));
}

}  // namespace tessaron::py
