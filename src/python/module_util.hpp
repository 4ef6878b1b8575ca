// Adding names to a module: every added name is also appended to the
// module's __all__ list, in the order of addition.
#pragma once

#include <span>

#include "python/py.hpp"

namespace tessaron::py {

// Adds `obj` (borrowed) as attribute `name` and appends the name to __all__.
bool add_to_module(PyObject* module, const char* name, PyObject* obj);
// Creates a function object for each entry (which must live forever) and
// adds it, in table order.
bool add_functions(PyObject* module, std::span<PyMethodDef> defs);
bool add_type(PyObject* module, PyTypeObject* type, const char* name);

}  // namespace tessaron::py

// Each submodule fills itself.
namespace tessaron::py::linalg { bool register_module(PyObject* module); }
namespace tessaron::py::stats { bool register_module(PyObject* module); }
namespace tessaron::py::random { bool register_module(PyObject* module); }
namespace tessaron::py::spatial {
bool register_module(PyObject* module);
bool register_top_level(PyObject* module);  // the trees also on the top-level module
}
