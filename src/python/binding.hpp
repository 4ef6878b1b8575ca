// Method-table entries for bindings declared by a Signature. Each entry
// point parses its arguments against the signature and runs the body under
// `guard`; the entry's name and docstring come from the same signature.
#pragma once

#include "python/args.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

// The METH_FASTCALL | METH_KEYWORDS calling convention.
using FastFunction = PyObject*(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames);

inline PyMethodDef fast_def(const char* name, FastFunction* fn, int flags, const char* doc) {
    // CPython stores every convention behind PyCFunction; METH_FASTCALL tells it the real one.
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn)),
            METH_FASTCALL | METH_KEYWORDS | flags, doc};
}

// Body(Args<Sig>&) -> PyObject*: a module function or static method.
template <class Sig, auto Body>
PyObject* call_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        auto in = parse<Sig>(args, nargs, kwnames);
        return in ? Body(*in) : nullptr;
    });
}

// Body(PyObject* self, Args<Sig>&) -> PyObject*: a method that takes what it
// needs of self (a read or write loan) itself.
template <class Sig, auto Body>
PyObject* call_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        auto in = parse<Sig>(args, nargs, kwnames);
        return in ? Body(self, *in) : nullptr;
    });
}

template <class Sig, auto Body>
PyMethodDef function_def() {
    return fast_def(Sig::name, call_function<Sig, Body>, 0, Sig::doc);
}

template <class Sig, auto Body>
PyMethodDef static_def() {
    return fast_def(Sig::name, call_function<Sig, Body>, METH_STATIC, Sig::doc);
}

// Body(Args<Sig>&) again as a static method of class Owner, whose argument
// errors name "Owner.f()": one body for the module function and the method.
template <Literal Owner, class Sig, auto Body>
PyMethodDef static_def_of() {
    return static_def<typename Sig::template owned_by<Owner>, Body>();
}

template <class Sig, auto Body>
PyMethodDef method_def() {
    return fast_def(Sig::name, call_method<Sig, Body>, 0, Sig::doc);
}

constexpr PyMethodDef kEndOfTable{nullptr, nullptr, 0, nullptr};

}  // namespace tessaron::py
