// Construction: Array(shape, data), and zeros, ones, full, eye, diag and
// asarray, each bound twice (module function and static method of Array,
// differing only in the name shown in argument errors), and column_stack.
#include "array/constructors.hpp"
#include "python/array/array_args.hpp"
#include "python/binding.hpp"

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

using Zeros = Signature<"zeros(shape)">;
using Ones = Signature<"ones(shape)">;

// zeros and ones: a shape filled by `make`.
template <class Sig, NdArray (*make)(const Shape&)>
PyObject* filled(Args<Sig>& in) {
    Dims shape;
    if (!arg<0>(in, shape)) return nullptr;
    return wrap_array(make(Shape{std::move(shape)}));
}

using Full = Signature<"full(shape, fill_value)">;
PyObject* full_body(Args<Full>& in) {
    Dims shape;
    double value = 0.0;
    if (!arg<0>(in, shape) || !arg<1>(in, value)) return nullptr;
    return wrap_array(full(Shape{std::move(shape)}, value));
}

using Eye = Signature<"eye(n, m=None, k=None)">;
PyObject* eye_body(Args<Eye>& in) {
    std::uint64_t n = 0;
    std::optional<std::uint64_t> m;
    std::optional<std::int64_t> k;
    if (!arg<0>(in, n) || !arg<1>(in, m) || !arg<2>(in, k)) return nullptr;
    return wrap_array(eye(n, m, k.value_or(0)));
}

using Diag = Signature<"diag(v, k=None)">;
PyObject* diag_body(Args<Diag>& in) {
    VecOrArray v;
    std::optional<std::int64_t> k;
    if (!arg<0>(in, v) || !arg<1>(in, k)) return nullptr;
    return wrap_array(from_diag(v.as_array(), k.value_or(0)));
}

using AsArray = Signature<"asarray(data, shape=None)">;
PyObject* asarray_body(Args<AsArray>& in) {
    VecOrArray data;
    std::optional<Dims> shape;
    if (!arg<0>(in, data) || !arg<1>(in, shape)) return nullptr;
    Buffer values = data.is_array() ? data.array.value().data : std::move(data.vec);
    if (!shape) {
        const std::size_t n = values.size();
        return wrap_array(NdArray::make(d1(n), std::move(values)));
    }
    if (!check_data_length(*shape, values.size())) return nullptr;
    return wrap_array(NdArray::make(Shape{std::move(*shape)}, std::move(values)));
}

using ColumnStack = Signature<"column_stack(arrays)">;
PyObject* column_stack_body(Args<ColumnStack>& in) {
    ArrayList arrays;
    if (!arg<0>(in, arrays)) return nullptr;
    if (arrays.arrays.empty()) {
        raise_value_error("Need at least one array");
        return nullptr;
    }
    return wrap_array(column_stack(arrays.arrays));
}

// Array(shape, data): the class object is called through vectorcall
// (Array(shape, data) is hot), and tp_new goes the same way.
using New = Signature<"__new__(shape, data)", "Array">;

PyObject* construct(Args<New>& in) {
    Dims shape;
    Buffer data;
    if (!arg<0>(in, shape) || !arg<1>(in, data)) return nullptr;
    if (!check_data_length(shape, data.size())) return nullptr;
    return wrap_array(NdArray::make(Shape{std::move(shape)}, std::move(data)));
}

PyObject* array_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return call_function<New, construct>(nullptr, args, PyVectorcall_NARGS(nargsf), kwnames);
}

PyMethodDef module_defs[] = {
    function_def<Zeros, filled<Zeros, zeros>>(),
    function_def<Ones, filled<Ones, ones>>(),
    function_def<Full, full_body>(),
    function_def<AsArray, asarray_body>(),
    function_def<Eye, eye_body>(),
    function_def<Diag, diag_body>(),
    function_def<ColumnStack, column_stack_body>(),
};

const PyMethodDef static_defs[] = {
    static_def_of<"Array", Zeros, filled<Zeros, zeros>>(),
    static_def_of<"Array", Ones, filled<Ones, ones>>(),
    static_def_of<"Array", Full, full_body>(),
    static_def_of<"Array", Eye, eye_body>(),
    static_def_of<"Array", Diag, diag_body>(),
    static_def_of<"Array", AsArray, asarray_body>(),
};

const PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Array(shape, data)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(new_through_vectorcall)},
};

}  // namespace

ClassPart construction_part() { return {static_defs, slots, array_vectorcall}; }
std::span<PyMethodDef> construction_functions() { return module_defs; }

}  // namespace tessaron::py
