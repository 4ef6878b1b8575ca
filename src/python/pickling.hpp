// Pickling (and so copy.copy and copy.deepcopy): each class's __reduce__
// names a private function of the tessaron module that rebuilds the object
// from plain data, checking everything it reads.
#pragma once

#include <span>

#include "python/py.hpp"

namespace tessaron::py {

PyMethodDef array_reduce_def();
PyMethodDef generator_reduce_def();
template <class Tree>
PyMethodDef tree_reduce_def();

// The rebuild functions, added to the top-level module but not to __all__.
std::span<PyMethodDef> rebuild_functions();

}  // namespace tessaron::py
