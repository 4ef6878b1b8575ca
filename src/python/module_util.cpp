#include "python/module_util.hpp"

#include "python/docstrings.hpp"
#include "python/ref.hpp"

namespace tessaron::py {

bool add_to_module(PyObject* module, const char* name, PyObject* obj) {
    PyObject* dict = PyModule_GetDict(module);  // borrowed
    if (!dict) return false;
    PyObject* all = PyDict_GetItemString(dict, "__all__");  // borrowed
    if (!all) {
        Ref fresh = Ref::steal(PyList_New(0));
        if (!fresh || PyDict_SetItemString(dict, "__all__", fresh.get()) < 0) return false;
        all = fresh.get();
    }
    Ref key = Ref::steal(PyUnicode_FromString(name));
    if (!key || PyList_Append(all, key.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, obj) == 0;
}

bool add_functions(PyObject* module, std::span<PyMethodDef> defs) {
    Ref module_name = Ref::steal(PyObject_GetAttrString(module, "__name__"));
    const char* name = module_name ? PyUnicode_AsUTF8(module_name.get()) : nullptr;
    if (!name) return false;
    for (PyMethodDef& def : defs) {
        document(def, name);
        Ref fn = Ref::steal(PyCFunction_NewEx(&def, nullptr, module_name.get()));
        if (!fn || !add_to_module(module, def.ml_name, fn.get())) return false;
    }
    return true;
}

bool add_type(PyObject* module, PyTypeObject* type, const char* name) {
    return type && add_to_module(module, name, reinterpret_cast<PyObject*>(type));
}

}  // namespace tessaron::py
