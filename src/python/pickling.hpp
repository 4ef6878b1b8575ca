// Pickling (and so copy.copy and copy.deepcopy): each class's __reduce__
// names a private function of the tessaron module that rebuilds the object
// from plain data, checking everything it reads. What the classes share is
// here; each class's reduce and rebuild live beside its binding.
#pragma once

#include <string_view>

#include "python/py.hpp"

namespace tessaron::py {

// The module's rebuild function `name` (a new reference).
PyObject* rebuild_function(const char* name);

// The contents of a bytes object, or ValueError "Invalid pickled <what>
// state: the data is not bytes".
bool bytes_of(PyObject* obj, const char* what, std::string_view& out);

// A bytes object holding a copy of `size` bytes at `data`.
PyObject* bytes_from(const void* data, std::size_t size);

// The rebuild functions, each defined beside its class. The module adds them
// to the top level but not to __all__.
PyMethodDef array_rebuild_def();
PyMethodDef generator_rebuild_def();
PyMethodDef tree_rebuild_def();

}  // namespace tessaron::py
