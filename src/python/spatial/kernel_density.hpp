// The KernelDensity class of tessaron.spatial.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

// Adds the class to tessaron.spatial (not to its __all__).
bool add_kernel_density_type(PyObject* module);
// _rebuild_kernel_density, for pickles.
PyMethodDef kernel_density_rebuild_def();

}  // namespace tessaron::py
