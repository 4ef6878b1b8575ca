// The Python object behind `Array`: one exclusively owned NdArray, and what
// each binding file contributes to the class.
#pragma once

#include <span>

#include "array/ndarray.hpp"
#include "python/object.hpp"
#include "python/ref.hpp"

namespace tessaron::py {

using PyArray = Instance<NdArray>;
template <>
PyTypeObject* type_of<NdArray>();

inline bool is_array(PyObject* obj) {
    PyTypeObject* t = type_of<NdArray>();
    return t && Py_IS_TYPE(obj, t);
}

// A new Array object owning `value`; nullptr with an exception on failure.
inline PyObject* wrap_array(NdArray&& value) { return make_instance<NdArray>(std::move(value)); }

// The methods and type slots one file adds to Array; array_type.cpp joins them.
struct ClassPart {
    std::span<const PyMethodDef> methods;
    std::span<const PyType_Slot> slots;
    vectorcallfunc construct = nullptr;  // calls to the class object, if this part takes them
};

ClassPart construction_part();  // construction.cpp: Array(...) and the static constructors
ClassPart conversion_part();    // lists.cpp: tolist, to_pylist_recursive
ClassPart numpy_part();         // numpy_bridge.cpp: to_numpy, from_numpy, __array__
ClassPart pickle_part();        // array_pickle.cpp: __reduce__
ClassPart iteration_part();     // iter.cpp: iter()
ClassPart operator_part();      // operators.cpp: + - * / unary minus
ClassPart math_part();          // math_methods.cpp: element-wise functions, reductions
ClassPart indexing_part();      // indexing.cpp: [], in, get, take
ClassPart matrix_part();        // linalg_methods.cpp: products and views, @

// The state of a PyArrayIter (iter.cpp), whose class the module also exposes.
struct IterState;
template <>
PyTypeObject* type_of<IterState>();

// Module-level construction functions (zeros, ones, ...).
std::span<PyMethodDef> construction_functions();

}  // namespace tessaron::py
