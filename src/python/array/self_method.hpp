// Helpers for Array methods: parse the argument list, take the read loan on
// self and run the body under the error guard.
#pragma once

#include "python/args.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

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

// Declares a METH_FASTCALL | METH_KEYWORDS method function.
#define TESSARON_METHOD(fn) \
    PyObject* fn(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)

}  // namespace tessaron::py
