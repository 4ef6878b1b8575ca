// The tessaron.linalg submodule.
#include "python/module_util.hpp"

namespace tessaron::py::linalg {

bool register_module(PyObject* /*module*/) {
    return true;  // no functions or classes are bound here yet
}

}  // namespace tessaron::py::linalg
