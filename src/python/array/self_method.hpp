// Helpers for Array methods: parse the argument list, take the read loan on
// self and run the body under the error guard.
#pragma once

#include "python/args.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

// For a slot of self alone (repr, a getter): body(const NdArray&) -> PyObject*.
template <class F>
PyObject* with_self(PyObject* self, F&& body) {
    return guard([&]() -> PyObject* {
        ArrayArg a;
        if (!extract(self, a)) return nullptr;
        return body(a.value());
    });
}

// For a method without parameters: body(const NdArray&) -> PyObject*.
template <class F>
PyObject* no_arg_method(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames, F&& body) {
    return guard([&]() -> PyObject* {
        if (!parse_args({name, {}, 0}, args, nargs, kwnames, nullptr)) return nullptr;
        ArrayArg a;
        if (!extract(self, a)) return nullptr;
        return body(a.value());
    });
}

// For a method with one parameter of kind T:
// body(const NdArray& self, T& value) -> PyObject*. `required` is 0 when the
// parameter has a default (an omitted argument leaves `value` as T{}).
template <class T, class F>
PyObject* one_arg_method(const char* name, const char* param, std::size_t required, PyObject* self,
                         PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, F&& body) {
    return guard([&]() -> PyObject* {
        PyObject* o[1];
        ArrayArg a;
        T value{};
        if (!parse_args({name, {param}, required}, args, nargs, kwnames, o) || !extract(self, a) ||
            !arg(o[0], param, value))
            return nullptr;
        return body(a.value(), value);
    });
}

// Declares a METH_FASTCALL | METH_KEYWORDS method function.
#define TESSARON_METHOD(fn) \
    PyObject* fn(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)

}  // namespace tessaron::py
