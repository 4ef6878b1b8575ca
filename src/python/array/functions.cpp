#include "python/array/functions.hpp"

#include "array/constructors.hpp"
#include "python/args.hpp"
#include "python/errors.hpp"
#include "python/module_util.hpp"

namespace tessaron::py {
namespace {

// "Data length 2 doesn't match shape [2, 3] (expected 6)", or the
// too-large-shape error; true when `shape` holds exactly `length` elements.
bool check_data_length(const Dims& shape, std::size_t length) {
    auto count = checked_count(Shape{shape});
    if (!count) {
        raise_value_error(count.error().message);
        return false;
    }
    if (count.value() != length) {
        raise_value_error("Data length " + std::to_string(length) + " doesn't match shape " +
                          format_dims(shape) + " (expected " + std::to_string(count.value()) + ")");
        return false;
    }
    return true;
}

PyObject* construct(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[2];
    if (!parse_args({fname, {"shape", "data"}, 2}, args, nargs, kwnames, a)) return nullptr;
    Dims shape;
    Buffer data;
    if (!arg(a[0], "shape", shape) || !arg(a[1], "data", data)) return nullptr;
    if (!check_data_length(shape, data.size())) return nullptr;
    return wrap_array(NdArray::make(Shape{std::move(shape)}, std::move(data)));
}

// zeros and ones: a shape filled by `make`.
PyObject* filled(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 NdArray (*make)(const Shape&)) {
    PyObject* a[1];
    Dims shape;
    if (!parse_args({fname, {"shape"}, 1}, args, nargs, kwnames, a) || !arg(a[0], "shape", shape))
        return nullptr;
    return wrap_array(make(Shape{std::move(shape)}));
}

PyObject* zeros_impl(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return filled(fname, args, nargs, kwnames, zeros);
}

PyObject* ones_impl(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return filled(fname, args, nargs, kwnames, ones);
}

PyObject* full_impl(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[2];
    Dims shape;
    double value = 0.0;
    if (!parse_args({fname, {"shape", "fill_value"}, 2}, args, nargs, kwnames, a) ||
        !arg(a[0], "shape", shape) || !arg(a[1], "fill_value", value))
        return nullptr;
    return wrap_array(full(Shape{std::move(shape)}, value));
}

PyObject* eye_impl(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[3];
    std::uint64_t n = 0;
    std::optional<std::uint64_t> m;
    std::optional<std::int64_t> k;
    if (!parse_args({fname, {"n", "m", "k"}, 1}, args, nargs, kwnames, a) || !arg(a[0], "n", n) ||
        !arg(a[1], "m", m) || !arg(a[2], "k", k))
        return nullptr;
    return wrap_array(eye(n, m, k.value_or(0)));
}

PyObject* diag_impl(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[2];
    VecOrArray v;
    std::optional<std::int64_t> k;
    if (!parse_args({fname, {"v", "k"}, 1}, args, nargs, kwnames, a) || !arg(a[0], "v", v) ||
        !arg(a[1], "k", k))
        return nullptr;
    return wrap_array(from_diag(v.as_array(), k.value_or(0)));
}

PyObject* asarray_impl(const char* fname, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    PyObject* a[2];
    VecOrArray data;
    std::optional<Dims> shape;
    if (!parse_args({fname, {"data", "shape"}, 1}, args, nargs, kwnames, a) ||
        !arg(a[0], "data", data) || !arg(a[1], "shape", shape))
        return nullptr;
    Buffer values = data.is_array() ? data.array.value().data : std::move(data.vec);
    if (!shape) {
        const std::size_t n = values.size();
        return wrap_array(NdArray::make(d1(n), std::move(values)));
    }
    if (!check_data_length(*shape, values.size())) return nullptr;
    return wrap_array(NdArray::make(Shape{std::move(*shape)}, std::move(values)));
}

PyObject* column_stack_function(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        ArrayList arrays;
        if (!parse_args({"column_stack()", {"arrays"}, 1}, args, nargs, kwnames, a) ||
            !arg(a[0], "arrays", arrays))
            return nullptr;
        if (arrays.arrays.empty()) {
            raise_value_error("Need at least one array");
            return nullptr;
        }
        return wrap_array(column_stack(arrays.arrays));
    });
}

}  // namespace

// One implementation serves the module function and the static method; only
// the name shown in argument errors differs.
#define TESSARON_BIND_TWICE(name)                                                              \
    static PyObject* name##_function(PyObject*, PyObject* const* args, Py_ssize_t nargs,      \
                                     PyObject* kwnames) {                                     \
        return guard([&] { return name##_impl(#name "()", args, nargs, kwnames); });          \
    }                                                                                         \
    PyObject* name##_static(PyObject*, PyObject* const* args, Py_ssize_t nargs,               \
                            PyObject* kwnames) {                                              \
        return guard([&] { return name##_impl("Array." #name "()", args, nargs, kwnames); }); \
    }
TESSARON_BIND_TWICE(zeros)
TESSARON_BIND_TWICE(ones)
TESSARON_BIND_TWICE(full)
TESSARON_BIND_TWICE(eye)
TESSARON_BIND_TWICE(diag)
TESSARON_BIND_TWICE(asarray)
#undef TESSARON_BIND_TWICE

PyObject* array_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guard([&] {
        return construct("Array.__new__()", args, PyVectorcall_NARGS(nargsf), kwnames);
    });
}

PyObject* array_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        if (!parse_args_tuple({"Array.__new__()", {"shape", "data"}, 2}, args, kwargs, a))
            return nullptr;
        PyObject* both[2] = {a[0], a[1]};
        return construct("Array.__new__()", both, 2, nullptr);
    });
}

PyMethodDef* module_functions() {
    static PyMethodDef defs[] = {
        {"zeros", TESSARON_FAST(zeros_function), kFastFlags, "zeros(shape)\n--\n\n"},
        {"ones", TESSARON_FAST(ones_function), kFastFlags, "ones(shape)\n--\n\n"},
        {"full", TESSARON_FAST(full_function), kFastFlags, "full(shape, fill_value)\n--\n\n"},
        {"asarray", TESSARON_FAST(asarray_function), kFastFlags,
         "asarray(data, shape=None)\n--\n\n"},
        {"eye", TESSARON_FAST(eye_function), kFastFlags, "eye(n, m=None, k=None)\n--\n\n"},
        {"diag", TESSARON_FAST(diag_function), kFastFlags, "diag(v, k=None)\n--\n\n"},
        {"column_stack", TESSARON_FAST(column_stack_function), kFastFlags,
         "column_stack(arrays)\n--\n\n"},
        {nullptr, nullptr, 0, nullptr},
    };
    return defs;
}

}  // namespace tessaron::py
