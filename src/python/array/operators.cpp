// Number slots of Array: + - * / with broadcasting or a scalar on either
// side, unary minus, and @.
#include "ops/arithmetic.hpp"
#include "ops/elementwise.hpp"
#include "ops/scalar.hpp"
#include "python/array/array_method.hpp"

namespace tessaron::py {
namespace {

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

PyObject* add(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Add); }
PyObject* subtract(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Subtract); }
PyObject* multiply(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Multiply); }
PyObject* divide(PyObject* l, PyObject* r) { return binary(l, r, BinaryOp::Divide); }

PyObject* negative(PyObject* self) {
    return with_self(self, [](const NdArray& a) { return wrap_array(apply_unary(a, UnaryFn::Negate)); });
}

const PyType_Slot slots[] = {
    {Py_nb_add, reinterpret_cast<void*>(add)},
    {Py_nb_subtract, reinterpret_cast<void*>(subtract)},
    {Py_nb_multiply, reinterpret_cast<void*>(multiply)},
    {Py_nb_true_divide, reinterpret_cast<void*>(divide)},
    {Py_nb_negative, reinterpret_cast<void*>(negative)},
};

}  // namespace

ClassPart operator_part() { return {{}, slots}; }

}  // namespace tessaron::py
