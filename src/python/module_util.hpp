// Adding names to a module: every added name is also appended to the
// module's __all__ list, in the order of addition.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

// Adds `obj` (borrowed) as attribute `name` and appends the name to __all__.
bool add_to_module(PyObject* module, const char* name, PyObject* obj);
// Creates a function object for `def` (which must live forever) and adds it.
bool add_function(PyObject* module, PyMethodDef* def);
bool add_type(PyObject* module, PyTypeObject* type, const char* name);

// The fast-call-with-keywords signature shared by every binding.
using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
#define TESSARON_FAST(fn) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn))
constexpr int kFastFlags = METH_FASTCALL | METH_KEYWORDS;

}  // namespace tessaron::py

// Each submodule fills itself.
namespace tessaron::py::linalg { bool register_module(PyObject* module); }
namespace tessaron::py::stats { bool register_module(PyObject* module); }
namespace tessaron::py::random { bool register_module(PyObject* module); }
namespace tessaron::py::spatial { bool register_module(PyObject* module); }
