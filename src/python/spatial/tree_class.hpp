// The tree classes as other bindings reach them: the class of each core
// tree, and new tree objects.
#pragma once

#include <optional>

#include "python/py.hpp"

namespace tessaron::py {

// The Python class of core tree Tree (created on first use; nullptr with an
// exception if that failed). Defined for the trees of tree_entries.hpp.
template <class Tree>
PyTypeObject* tree_type();

// Whether obj is a KDTree, BallTree or VPTree object.
bool is_tree(PyObject* obj);

}  // namespace tessaron::py
