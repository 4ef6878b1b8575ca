// The tessaron.stats submodule.
#include "python/module_util.hpp"

namespace tessaron::py::stats {

bool register_module(PyObject* /*module*/) {
    return true;  // no functions or classes are bound here yet
}

}  // namespace tessaron::py::stats
