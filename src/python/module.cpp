// Entry point of the extension module: builds `tessaron` once per process,
// with its classes, construction functions and the four submodules.
#include <string>

#include "python/array/array_object.hpp"
#include "python/docstrings.hpp"
#include "python/errors.hpp"
#include "python/index_matrix.hpp"
#include "python/module_util.hpp"
#include "python/pickling.hpp"
#include "python/spatial/kernel_density.hpp"
#include "python/spatial/metric_class.hpp"

namespace tessaron {
class Generator;
}  // namespace tessaron

namespace tessaron::py {

template <>
PyTypeObject* type_of<Generator>();

namespace {

PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "tessaron",
    .m_doc = "",
    .m_size = 0,  // so that a second interpreter's import reaches init() and is refused
    .m_methods = nullptr,
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

// Private, for unpickling: on the module but not in __all__.
PyMethodDef rebuild_defs[] = {array_rebuild_def(), generator_rebuild_def(), tree_rebuild_def(),
                              index_matrix_rebuild_def(), metric_rebuild_def(),
                              kernel_density_rebuild_def()};

PyObject* cached_module = nullptr;
std::int64_t owner_interpreter = -1;

using Register = bool (*)(PyObject*);

// A submodule is the attribute `name` of the parent and, so that `import
// tessaron.<name>` finds it and its functions pickle by reference, the
// module "tessaron.<name>" in sys.modules.
bool add_submodule(PyObject* parent, const char* name, Register fill) {
    std::string full = "tessaron.";
    full += name;
    Ref sub = Ref::steal(PyModule_New(full.c_str()));
    return sub && PyModule_SetDocString(sub.get(), with_prose(full, "")) == 0 && fill(sub.get()) &&
           add_to_module(parent, name, sub.get()) &&
           PyDict_SetItemString(PyImport_GetModuleDict(), full.c_str(), sub.get()) == 0;
}

bool make_def(PyObject* m) {
    if (!add_type(m, type_of<NdArray>(), "Array") ||
        !add_type(m, type_of<IterState>(), "PyArrayIter") ||
        !add_type(m, type_of<Generator>(), "Generator") ||
        !spatial::register_top_level(m) ||
        !add_functions(m, construction_functions()))
        return false;
    return add_submodule(m, "linalg", linalg::register_module) &&
           add_submodule(m, "stats", stats::register_module) &&
           add_submodule(m, "random", random::register_module) &&
           add_submodule(m, "spatial", spatial::register_module);
}

PyObject* init() {
    const std::int64_t interp = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interp < 0) return nullptr;
    if (owner_interpreter >= 0 && owner_interpreter != interp) {
        PyErr_SetString(PyExc_ImportError,
                        "tessaron does not support sub-interpreters: it is already loaded in "
                        "another interpreter of this process");
        return nullptr;
    }
    if (cached_module) return Py_NewRef(cached_module);
    if (!panic_exception_type()) return nullptr;
    Ref m = Ref::steal(PyModule_Create(&module_def));
    if (!m || PyModule_SetDocString(m.get(), with_prose("tessaron", "")) < 0 || !make_def(m.get())) return nullptr;
    // Not in __all__: reachable so that callers can catch it by name.
    if (PyModule_AddObjectRef(m.get(), "PanicException", panic_exception_type()) < 0 ||
        PyModule_AddStringConstant(m.get(), "__version__", TESSARON_VERSION) < 0)
        return nullptr;
    Ref name = Ref::steal(PyUnicode_FromString("tessaron"));
    for (PyMethodDef& def : rebuild_defs) {
        Ref fn = name ? Ref::steal(PyCFunction_NewEx(&def, nullptr, name.get())) : Ref();
        if (!fn || PyModule_AddObjectRef(m.get(), def.ml_name, fn.get()) < 0) return nullptr;
    }
    owner_interpreter = interp;
    cached_module = Py_NewRef(m.get());
    return m.release();
}

}  // namespace
}  // namespace tessaron::py

PyMODINIT_FUNC PyInit_tessaron() {
    return tessaron::py::guard([] { return tessaron::py::init(); });
}
