// Number slots of Array: + - * / with broadcasting or a scalar on either
// side, unary minus, and @.
#include "ops/arithmetic.hpp"
#include "ops/elementwise.hpp"
#include "ops/scalar.hpp"
#include "python/args.hpp"
#include "python/array/operators.hpp"
#include "python/errors.hpp"

namespace tessaron::py {
namespace {

// A float from any object the float conversion accepts, or nothing (the
// conversion error is discarded: the operation is then not supported).
std::optional<double> as_scalar(PyObject* obj) {
    double v = 0.0;
    if (extract(obj, v)) return v;
    PyErr_Clear();
    return std::nullopt;
}

PyObject* binary(PyObject* left, PyObject* right, BinaryOp op) {
    return guard([&]() -> PyObject* {
        if (is_array(left)) {
            ArrayArg a;
            if (!extract(left, a)) return nullptr;
            if (is_array(right)) {
                ArrayArg b;
                if (!extract(right, b)) return nullptr;
                return wrap_array(binary_op_copy(a.value(), b.value(), op));
            }
            if (auto s = as_scalar(right)) return wrap_array(scalar_op_copy(a.value(), *s, op));
        }
        if (is_array(right)) {  // the reflected form: scalar on the left
            if (auto s = as_scalar(left)) {
                ArrayArg b;
                if (!extract(right, b)) return nullptr;
                return wrap_array(scalar_left_op_copy(*s, b.value(), op));
            }
        }
        Py_RETURN_NOTIMPLEMENTED;
    });
}

}  // namespace

PyObject* array_add(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Add); }
PyObject* array_subtract(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Subtract); }
PyObject* array_multiply(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Multiply); }
PyObject* array_divide(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Divide); }

PyObject* array_negative(PyObject* self) {
    return guard([&]() -> PyObject* {
        ArrayArg a;
        if (!extract(self, a)) return nullptr;
        return wrap_array(apply_unary(a.value(), UnaryFn::Negate));
    });
}

}  // namespace tessaron::py
