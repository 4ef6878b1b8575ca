// Methods and slots of Array that read self: parse the arguments, take the
// read loan on self, then run the body under the error guard.
#pragma once

#include "python/array/array_args.hpp"
#include "python/binding.hpp"

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

// Body(const NdArray& self) or Body(const NdArray& self, Args<Sig>&) -> PyObject*.
template <class Sig, auto Body>
PyObject* call_array_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        auto in = parse<Sig>(args, nargs, kwnames);
        if (!in) return nullptr;
        ArrayArg a;
        if (!extract(self, a)) return nullptr;
        if constexpr (Sig::size == 0)
            return Body(a.value());
        else
            return Body(a.value(), *in);
    });
}

template <class Sig, auto Body>
PyMethodDef array_method_def() {
    return fast_def(Sig::name, call_array_method<Sig, Body>, 0, Sig::doc);
}

// Array.<name>($self): Sig for a method without parameters.
template <Literal Decl>
using ArrayMethod = Signature<Decl, "Array">;

}  // namespace tessaron::py
